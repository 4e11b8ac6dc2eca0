// The console installer end to end: zelt20-install started as an operator
// starts it, against the simulated station over a pseudo-terminal, judged
// by its standard output (exactly the log, in UTF-8), its exit status and
// what the station saw. Standard input is not a terminal, so every box is
// answered Cancel unless --yes is given.
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <memory>
#include <nlohmann/json.hpp>
#include <numeric>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/line_run.h"
#include "tests/support/pty_pair.h"
#include "tests/support/release_text.h"
#include "tests/support/temp_dir.h"

namespace zelt20::test {
namespace {

using namespace std::chrono_literals;
using sim::RequestKind;

constexpr int kComPort = 17;
constexpr int kExitInstalled = 0;
constexpr int kExitEarlyEnd = 1;
constexpr int kExitFailed = 2;
constexpr int kExitStopped = 3;
// Far beyond what the runs take: a program still running then hangs.
constexpr auto kShortRunLimit = 60s;
constexpr auto kWholeRunLimit = 400s;

const std::string kReleaseLine = ReleaseLine();
const std::string kStoppedLine = "\r\nВыполнение прервано пользователем\r\n";
// What zelt20-station reports without options.
const FirmwareVersion kStationVersion = sim::StationSetup::DefaultStationInfo().version;

// The simulated station in this process, with the release's fullpack so
// that it is not sent, and zelt20-install started against it.
class ConsoleInstaller : public ::testing::Test {
 protected:
  sim::SimulatorOptions options;
  std::unique_ptr<StationOnLine> station;
  TempDir records;

  ConsoleInstaller() { options.station.fullpack_version = BuiltInImage().FullpackVersionWord(); }

  void AddFault(const char* text) {
    const auto fault = sim::ParseFault(text);
    ASSERT_TRUE(fault) << fault.Reason();
    options.faults.push_back(*fault);
  }
  std::unique_ptr<ChildProcess> StartInstaller(std::vector<std::string> args = {}) {
    station = std::make_unique<StationOnLine>(options, kComPort);
    args.insert(args.end(), {"--records", records.File("records"), station->PortText()});
    return std::make_unique<ChildProcess>(ZELT20_INSTALL_PROGRAM, args, station->Environment());
  }
  int Requests(RequestKind kind) const { return station->Report().activity.Count(kind); }
  int AllRequests() const {
    const sim::SimulatorReport report = station->Report();
    return std::accumulate(report.activity.requests.begin(), report.activity.requests.end(), 0);
  }
};

// A whole installation by the program against zelt20-station, whose
// report says whether the flashed code is the release.
struct ProgramRun {
  int exit_status = -1;
  std::string out, err;
};
ProgramRun InstallWithThePrograms(const std::string& records) {
  ChildProcess station(ZELT20_STATION_PROGRAM,
                       {"--fullpack-version", HexText(BuiltInImage().FullpackVersionWord()),
                        "--exit-after-prom", "--timeout", "600"});
  EXPECT_TRUE(station.WaitForOutput("\n", 10s)) << station.Err();
  const std::string device = station.Out().substr(0, station.Out().find('\n'));

  ChildProcess installer(ZELT20_INSTALL_PROGRAM, {"--yes", "--records", records, "1"},
                         {{"ZELT20_COM1", device}});
  ProgramRun run{installer.WaitForExit(kWholeRunLimit).value_or(-1), installer.Out(), installer.Err()};
  EXPECT_EQ(run.out, kReleaseLine + GoldenLog("installation_success.log", kStationVersion));

  // With --exit-after-prom the station ends once the installer has let go
  // of the line, and its status says whether it holds the release.
  EXPECT_EQ(station.WaitForExit(30s), 0) << station.Out() << station.Err();
  EXPECT_NE(station.Out().find("flashed code: matches release " + VersionText(InstallerRelease())),
            std::string::npos)
      << station.Out();
  return run;
}

// The program's own lines on standard error, beside the boxes' text.
std::vector<std::string> ProgramLines(const std::string& err) {
  std::vector<std::string> lines;
  std::istringstream text(err);
  for (std::string line; std::getline(text, line);) {
    if (line.starts_with("zelt20-install: ")) lines.push_back(line);
  }
  return lines;
}

TEST(ConsolePrograms, WholeRunInstallsTheReleaseAndPrintsExactlyTheLog) {
  TempDir folder;
  const std::string records = folder.File("records");
  const ProgramRun installer = InstallWithThePrograms(records);
  EXPECT_EQ(installer.exit_status, kExitInstalled) << installer.err;
  EXPECT_EQ(ProgramLines(installer.err), std::vector<std::string>{}) << installer.err;

  // One record, of the station the simulator was, and the log file holds
  // exactly what standard output got.
  const std::string lines = TempDir::Read(records + "/installations.jsonl");
  ASSERT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
  const nlohmann::json record = nlohmann::json::parse(lines);
  const unsigned serial = sim::StationSetup::DefaultStationInfo().processor_serial;
  EXPECT_EQ(record["outcome"], "installed");
  EXPECT_EQ(record["station"]["processor_serial"], serial);
  EXPECT_EQ(record["device_source"], "environment");
  EXPECT_EQ(record["front_end"], "console");
  const std::string log_file = record["log_file"];
  EXPECT_EQ(TempDir::Read(records + "/" + log_file), installer.out);

  ChildProcess history(ZELT20_INSTALL_PROGRAM, {"--history", "--records", records});
  EXPECT_EQ(history.WaitForExit(kShortRunLimit), 0) << history.Err();
  const std::string row = history.Out().substr(history.Out().find('\n') + 1);
  const std::string serial_text = std::to_string(serial + 100000).substr(1);  // five digits
  for (const std::string& field : {serial_text, VersionText(kStationVersion) + " → 2.3:56", log_file}) {
    EXPECT_NE(row.find(field), std::string::npos) << field << " in\n" << history.Out();
  }
}

// A records folder that cannot be made changes nothing of the run: the
// same log, the same exit status, and one line on standard error.
TEST(ConsolePrograms, WholeRunWithARecordsFolderThatCannotBeMadeEndsAsItWould) {
  TempDir folder;
  TempDir::Write(folder.File("records"), "a file where the folder would be");
  const ProgramRun installer = InstallWithThePrograms(folder.File("records") + "/more");
  EXPECT_EQ(installer.exit_status, kExitInstalled);
  const std::vector<std::string> told = ProgramLines(installer.err);
  ASSERT_EQ(told.size(), 1u) << installer.err;
  EXPECT_TRUE(told[0].starts_with("zelt20-install: no record was kept: cannot make the folder "))
      << told[0];
}

struct BoxCase {
  const char* name;
  FirmwareVersion station_version;
  const char* box_start;
};
void PrintTo(const BoxCase& box, std::ostream* out) { *out << box.name; }

class UnansweredBox : public ConsoleInstaller, public ::testing::WithParamInterface<BoxCase> {};

TEST_P(UnansweredBox, IsCancelAndNothingButTheIdentifyIsSent) {
  options.station.info.version = GetParam().station_version;
  const auto installer = StartInstaller();
  EXPECT_EQ(installer->WaitForExit(kShortRunLimit), kExitStopped);
  EXPECT_TRUE(installer->Out().starts_with(kReleaseLine));
  EXPECT_TRUE(installer->Out().ends_with(" 00000000\r\nВыполнение прервано пользователем\r\n"))
      << installer->Out();
  EXPECT_NE(installer->Err().find(GetParam().box_start), std::string::npos) << installer->Err();
  EXPECT_NE(installer->Err().find("Cancel"), std::string::npos) << installer->Err();
  EXPECT_EQ(Requests(RequestKind::kIdentify), 1);
  EXPECT_EQ(AllRequests(), 1);
}

INSTANTIATE_TEST_SUITE_P(EachBox, UnansweredBox,
                         ::testing::Values(BoxCase{"SameRelease", InstallerRelease(),
                                                   "Внимание!!! Версия установленного ПО не новее"},
                                           BoxCase{"Duration", kStationVersion,
                                                   "Внимание!!! Процесс смены версии ПО"}),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

TEST_F(ConsoleInstaller, BiosThreeIsRefusedWithoutABox) {
  options.station.info.bios = 3;
  const auto installer = StartInstaller();
  EXPECT_EQ(installer->WaitForExit(kShortRunLimit), kExitFailed);
  EXPECT_TRUE(installer->Out().ends_with(
      " 00000000\r\n\r\nОшибка: данная версия BIOS не допускает перепрошивку!\r\n"))
      << installer->Out();
  EXPECT_EQ(installer->Err(), "");
  EXPECT_EQ(AllRequests(), 1);
}

TEST_F(ConsoleInstaller, StationWithoutCodeNeedsNoConfirmation) {
  options.station.info.version = {0xFF, 0xFF, 0xFFFF};
  const auto installer = StartInstaller();  // without --yes: a box would be Cancel
  ASSERT_TRUE(installer->WaitForOutput("Заголовок апгрейтора загружен\r\n", kShortRunLimit))
      << installer->Out();
  installer->Signal(SIGINT);
  EXPECT_EQ(installer->WaitForExit(kShortRunLimit), kExitStopped);
  EXPECT_NE(installer->Out().find("Получение версии боевого кода... код отсутствует\r\n"), std::string::npos);
  EXPECT_TRUE(installer->Out().ends_with("Заголовок апгрейтора загружен\r\n" + kStoppedLine))
      << installer->Out();
  EXPECT_EQ(installer->Err(), "");
  EXPECT_EQ(Requests(RequestKind::kEnterUpgrader), 0);
  EXPECT_EQ(Requests(RequestKind::kFullpackVersion), 1);
}

TEST_F(ConsoleInstaller, FailureInSegmentTwelveEndsTheRunThere) {
  AddFault("badcrc:segment12.5");
  const auto installer = StartInstaller({"--yes"});
  EXPECT_EQ(installer->WaitForExit(kWholeRunLimit), kExitFailed);
  EXPECT_TRUE(installer->Out().ends_with(
      SegmentLoadedLine(11) +
      "\r\nОшибка: принят пакет с неправильной CRC\r\nПерепосылка...\r\n"
      "\r\nОшибка: принят пакет с неправильной CRC\r\nОшибка: исчерпано число перезапросов\r\n"
      " \r\nОшибка: соединение потеряно!\r\n"))
      << installer->Out();
  // Segments 0 to 11, then chunks 1 to 5 of segment 12 and the resend of
  // chunk 5; no later segment and no PROM write.
  const FirmwareImage image;
  const RunTimes times = StationRunTimes(image, options.station);
  int chunks_before = 0;
  for (int segment = 0; segment < 12; ++segment) chunks_before += times.Chunks(segment);
  const sim::SimulatorReport report = station->Report();
  EXPECT_EQ(report.blocks.segments_confirmed, 12);
  EXPECT_EQ(report.activity.Count(RequestKind::kSegmentChunk), chunks_before + 5 + 1);
  EXPECT_EQ(report.activity.Count(RequestKind::kWriteProm), 0);
}

// Ctrl-C, a shutdown's SIGTERM and a closed terminal's SIGHUP each stop the
// run as Stop does: the stop line, exit status 3, and one record naming
// the signal, beside a log file that holds the whole log.
struct SignalCase {
  const char* name;
  int signal;
  const char* stopped_by;
};
void PrintTo(const SignalCase& signal, std::ostream* out) { *out << signal.name; }

class SignalDuringTheTransfer : public ConsoleInstaller, public ::testing::WithParamInterface<SignalCase> {};

TEST_P(SignalDuringTheTransfer, StopsAtTheNextRequestAndKeepsTheRecord) {
  const auto installer = StartInstaller({"--yes"});
  ASSERT_TRUE(installer->WaitForOutput(SegmentLoadedLine(1), kShortRunLimit))
      << installer->Out();
  const int requests_at_interrupt = AllRequests();
  installer->Signal(GetParam().signal);
  EXPECT_EQ(installer->WaitForExit(kShortRunLimit), kExitStopped);
  EXPECT_TRUE(installer->Out().ends_with(SegmentLoadedLine(1) + kStoppedLine))
      << installer->Out();
  // The chunk whose reply was being read when the signal came, at most, and
  // the one whose exchange saw the stop; nothing after that.
  EXPECT_LE(AllRequests() - requests_at_interrupt, 2);
  EXPECT_EQ(station->Report().blocks.segments_confirmed, 2);
  EXPECT_EQ(Requests(RequestKind::kWriteProm), 0);

  const std::string lines = TempDir::Read(records.File("records/installations.jsonl"));
  ASSERT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1) << lines;
  const nlohmann::json record = nlohmann::json::parse(lines);
  EXPECT_EQ(record["outcome"], "stopped");
  EXPECT_EQ(record["stopped_by"], GetParam().stopped_by);
  EXPECT_EQ(record["last_step"], "segment 3");
  EXPECT_EQ(TempDir::Read(records.File("records/" + record["log_file"].get<std::string>())),
            installer->Out());
}

INSTANTIATE_TEST_SUITE_P(EachSignal, SignalDuringTheTransfer,
                         ::testing::Values(SignalCase{"Interrupt", SIGINT, "ctrl_c"},
                                           SignalCase{"Terminate", SIGTERM, "SIGTERM"},
                                           SignalCase{"HangUp", SIGHUP, "SIGHUP"}),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

// Standard output closed by its reader before the run has begun (a pager
// quit at once): the run goes on to its end as it would, and its log file
// keeps every line.
TEST_F(ConsoleInstaller, ClosedStandardOutputEndsNoRun) {
  station = std::make_unique<StationOnLine>(options, kComPort);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  ::close(out[0]);
  ChildProcess installer(ZELT20_INSTALL_PROGRAM, {"--records", records.File("records"), station->PortText()},
                         station->Environment(), {.output = out[1]});
  ::close(out[1]);
  // Without a terminal the duration box is answered Cancel.
  EXPECT_EQ(installer.WaitForExit(kShortRunLimit), kExitStopped);
  const nlohmann::json record = nlohmann::json::parse(TempDir::Read(records.File("records/installations.jsonl")));
  EXPECT_EQ(record["outcome"], "declined");
  const std::string log = TempDir::Read(records.File("records/" + record["log_file"].get<std::string>()));
  EXPECT_TRUE(log.starts_with(kReleaseLine) && log.ends_with(" 00000000" + kStoppedLine)) << log;
}

struct PortTextCase {
  const char* name;
  const char* text;
  const char* error;
};
void PrintTo(const PortTextCase& port, std::ostream* out) { *out << port.name; }

class BadPortText : public ::testing::TestWithParam<PortTextCase> {};

TEST_P(BadPortText, EndsEarlyWithTheTwoErrorLines) {
  TempDir records;
  ChildProcess installer(ZELT20_INSTALL_PROGRAM,
                         {"--yes", "--records", records.File("records"), GetParam().text});
  EXPECT_EQ(installer.WaitForExit(kShortRunLimit), kExitEarlyEnd);
  EXPECT_EQ(installer.Out(), kReleaseLine + "\r\nОшибка: " + GetParam().error + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Console, BadPortText,
                         ::testing::Values(PortTextCase{"Empty", "", "не указан номер COM порта!"},
                                           PortTextCase{"Letter", "1a", "неправильный номер COM порта!"},
                                           PortTextCase{"TooHigh", "256", "неправильный номер COM порта!"}),
                         [](const auto& test_case) { return std::string(test_case.param.name); });

// Port texts that would forge a line or drive the terminal, each a run that
// ends at once: neither the runs' summary nor the history shows them raw,
// and the history has exactly a header and a row a run.
TEST(ConsoleHistory, ShowsHostilePortTextsEscapedOneRowARun) {
  TempDir folder;
  const std::string records = folder.File("records");
  ChildProcess runs(ZELT20_INSTALL_PROGRAM, {"--yes", "--records", records, "1\n2", "\x1b[2J"});
  EXPECT_EQ(runs.WaitForExit(kShortRunLimit), kExitEarlyEnd) << runs.Err();
  const std::string& summary = runs.Out();
  EXPECT_EQ(std::count(summary.begin(), summary.end(), '\n'), 4) << summary;  // header, 2 runs, totals
  EXPECT_EQ(summary.find('\x1b'), std::string::npos) << summary;

  ChildProcess history(ZELT20_INSTALL_PROGRAM, {"--history", "--records", records});
  EXPECT_EQ(history.WaitForExit(kShortRunLimit), 0) << history.Err();
  const std::string& table = history.Out();
  EXPECT_EQ(std::count(table.begin(), table.end(), '\n'), 3) << table;  // header, 2 runs
  EXPECT_EQ(table.find('\x1b'), std::string::npos) << table;
}

// The log keeps its lines; standard error says why, in one line.
TEST(ConsoleMissingDevice, EndsEarlyWithTheOpenFailureLines) {
  TempDir records;
  ChildProcess installer(ZELT20_INSTALL_PROGRAM, {"--yes", "--records", records.File("records"), "9"},
                         {{"ZELT20_COM9", "/nonexistent/zelt20-station-line"}});
  EXPECT_EQ(installer.WaitForExit(kShortRunLimit), kExitEarlyEnd);
  EXPECT_EQ(installer.Out(), kReleaseLine + "\r\nОшибка: невозможно открыть порт! \\\\.\\COM9\r\n");
  EXPECT_TRUE(installer.Err().starts_with(
      "zelt20-install: /nonexistent/zelt20-station-line does not exist"))
      << installer.Err();
  EXPECT_EQ(std::count(installer.Err().begin(), installer.Err().end(), '\n'), 1);
}

struct WrongCommandLine {
  const char* program;
  std::vector<std::string> args;
  const char* problem;
  ChildProcess::Variables environment = {};
};

TEST(ConsolePrograms, WrongCommandLineNamesTheProblemAndPointsToHelp) {
  const std::vector<WrongCommandLine> cases = {
      {ZELT20_INSTALL_PROGRAM, {}, "missing PORT"},
      {ZELT20_INSTALL_PROGRAM, {"--yess", "1"}, "unknown option --yess"},
      {ZELT20_INSTALL_PROGRAM, {"1", "2", "1"}, "PORT 1 given twice"},
      {ZELT20_INSTALL_PROGRAM, {"1", "001"}, "1 and 001 are both COM1"},
      {ZELT20_INSTALL_PROGRAM, {"--yes", "1", "2"}, "1 and 2 are both /dev/null",
       {{"ZELT20_COM1", "/dev/null"}, {"ZELT20_COM2", "/dev/../dev/null"}}},
      {ZELT20_STATION_PROGRAM, {"--bios=x"}, "bad value 'x' for --bios"},
      {ZELT20_STATION_PROGRAM, {"--exit-after-prm"}, "unknown option --exit-after-prm"},
      {ZELT20_STATION_PROGRAM, {"/dev/ttyUSB0"}, "unexpected argument /dev/ttyUSB0"},
  };
  for (const WrongCommandLine& c : cases) {
    const std::string name = std::filesystem::path(c.program).filename().string();
    SCOPED_TRACE(name + " " + c.problem);
    ChildProcess program(c.program, c.args, c.environment);
    EXPECT_EQ(program.WaitForExit(kShortRunLimit), 64);
    EXPECT_EQ(program.Out(), "");
    EXPECT_EQ(program.Err(), name + ": " + c.problem + "\nTry '" + name +
                                 " --help' for more information.\n");
  }
}

TEST(ConsolePorts, ListingShowsALineMappedByTheEnvironment) {
  PtyPair line;
  ChildProcess listing(ZELT20_INSTALL_PROGRAM, {"--list-ports"}, {{"ZELT20_COM3", line.SlavePath()}});
  EXPECT_EQ(listing.WaitForExit(kShortRunLimit), 0);
  EXPECT_NE(listing.Out().find("COM numbers mapped to other devices:\nCOM3  " + line.SlavePath() +
                               " (ZELT20_COM3)\n"),
            std::string::npos)
      << listing.Out();
}

}  // namespace
}  // namespace zelt20::test
