// The console installer with several ports, end to end: three simulated
// stations (zelt20-station over pseudo-terminals) installed at once by one
// zelt20-install, one of them failing in segment 12; and a records folder
// that cannot be written, which no run may start without.
#include <gtest/gtest.h>

#include <cstdlib>

#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "sim/station_model.h"
#include "tests/support/child_process.h"
#include "tests/support/release_text.h"
#include "tests/support/temp_dir.h"

namespace zelt20::test {
namespace {

using namespace std::chrono_literals;

constexpr auto kWholeRunLimit = 400s;
constexpr auto kShortRunLimit = 60s;

// A zelt20-station of its own for one COM port, with the release's fullpack
// so that the golden log is the run's.
struct Station {
  std::string com;
  std::unique_ptr<ChildProcess> program;
  std::string device;

  Station(std::string com_number, std::vector<std::string> options) : com(std::move(com_number)) {
    options.insert(options.end(), {"--fullpack-version", HexText(BuiltInImage().FullpackVersionWord()),
                                   "--exit-after-prom", "--timeout", "600"});
    program = std::make_unique<ChildProcess>(ZELT20_STATION_PROGRAM, options);
    EXPECT_TRUE(program->WaitForOutput("\n", 10s)) << program->Err();
    device = program->Out().substr(0, program->Out().find('\n'));
  }
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// The golden log of a whole run, as it reads on that port for the station
// with that serial number (the golden one is COM1's, station 00042's).
std::string GoldenLogOf(const std::string& port, const std::string& serial) {
  std::string log =
      ReleaseLine() + GoldenLog("installation_success.log", sim::StationSetup::DefaultStationInfo().version);
  const auto replace = [&log](const std::string& from, const std::string& to) {
    const std::size_t at = log.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    if (at != std::string::npos) log.replace(at, from.size(), to);
  };
  replace("\\\\.\\COM1 ", "\\\\.\\COM" + port + " ");
  replace("\t 00042\r\n", "\t " + serial + "\r\n");
  return log;
}

TEST(SeveralStations, InstallAtOnceAndOneFailureLeavesTheOthersGoing) {
  std::vector<Station> stations;
  stations.emplace_back("3", std::vector<std::string>{"--serial", "301"});
  stations.emplace_back("4", std::vector<std::string>{"--serial", "402", "--fault", "badcrc:segment12.1"});
  stations.emplace_back("5", std::vector<std::string>{"--serial", "503"});
  ChildProcess::Variables environment;
  for (const Station& station : stations) environment.push_back({"ZELT20_COM" + station.com, station.device});

  TempDir folder;
  const std::string records = folder.File("records");
  ChildProcess installer(ZELT20_INSTALL_PROGRAM, {"--yes", "--records", records, "3", "4", "5"},
                         environment);
  ASSERT_EQ(installer.WaitForExit(kWholeRunLimit), 2) << installer.Out() << installer.Err();

  // Each station as its own report tells it: two hold the release.
  for (const std::size_t installed : {0u, 2u}) {
    Station& station = stations[installed];
    EXPECT_EQ(station.program->WaitForExit(30s), 0) << station.program->Err();
    EXPECT_NE(station.program->Out().find("flashed code: matches release " +
                                          VersionText(InstallerRelease())),
              std::string::npos)
        << "COM" << station.com << ": " << station.program->Out();
  }

  // One record a run, each with its own log file: the installed runs' logs
  // are exactly the single run's log, nothing of another run in them.
  std::map<std::string, nlohmann::json> by_port;
  for (const std::string& line : Lines(TempDir::Read(records + "/installations.jsonl"))) {
    const nlohmann::json record = nlohmann::json::parse(line);
    by_port[record["port_text"]] = record;
  }
  ASSERT_EQ(by_port.size(), 3u);
  for (const auto& [port, serial] : {std::pair{"3", "00301"}, std::pair{"5", "00503"}}) {
    EXPECT_EQ(by_port[port]["outcome"], "installed") << port;
    EXPECT_EQ(TempDir::Read(records + "/" + by_port[port]["log_file"].get<std::string>()),
              GoldenLogOf(port, serial))
        << port;
  }
  EXPECT_EQ(by_port["4"]["outcome"], "failed");
  const std::string failed_log = TempDir::Read(records + "/" + by_port["4"]["log_file"].get<std::string>());
  EXPECT_TRUE(failed_log.starts_with(ReleaseLine())) << failed_log;
  EXPECT_EQ(failed_log.find("успешно"), std::string::npos) << failed_log;

  // Standard output: the summary alone, a row per port, then the totals.
  const std::vector<std::string> summary = Lines(installer.Out());
  ASSERT_EQ(summary.size(), 5u) << installer.Out();
  const std::map<std::string, std::vector<std::string>> rows = {
      {"COM3", {"00301", "installed", by_port["3"]["log_file"]}},
      {"COM4", {"00402", "failed at segment 13/27", by_port["4"]["log_file"]}},
      {"COM5", {"00503", "installed", by_port["5"]["log_file"]}},
  };
  for (std::size_t i = 1; i <= 3; ++i) {
    const std::string& row = summary[i];
    const std::string port = row.substr(0, 4);
    ASSERT_TRUE(rows.count(port)) << row;
    for (const std::string& field : rows.at(port)) EXPECT_NE(row.find(field), std::string::npos) << field << " in " << row;
  }
  EXPECT_EQ(summary[4], "2 installed, 1 failed, 0 stopped, 0 not started");

  // Standard error, not a terminal: whole lines, each step's line naming its
  // port (every run has segment lines: all three reach the transfer), and
  // each run's end.
  const std::string err = installer.Err();
  for (const char* end : {"\nCOM3: installed (", "\nCOM4: failed at segment 13/27",
                          "\nCOM5: installed ("}) {
    EXPECT_NE(err.find(end), std::string::npos) << end << " in\n" << err;
  }
  std::map<std::string, int> segment_lines = {{"COM3", 0}, {"COM4", 0}, {"COM5", 0}};
  for (const std::string& line : Lines(err)) {
    if (line.find(": segment ") == std::string::npos) continue;
    const std::string port = line.substr(0, line.find(": "));
    EXPECT_TRUE(segment_lines.count(port)) << line;
    if (segment_lines.count(port)) ++segment_lines[port];
  }
  for (const auto& [port, count] : segment_lines) {
    EXPECT_GT(count, 0) << "no segment line of " << port << " in\n" << err;
  }
}

// An immutable folder's files may be written, but no file made in it;
// root alone may set the flag. False where the file system has none.
bool SetImmutable(const std::string& folder, bool immutable) {
  return std::system(("chattr " + std::string(immutable ? "+i '" : "-i '") + folder + "' 2>/dev/null").c_str()) == 0;
}

// Each run's log lives only in its log file: no run starts in a records
// folder that cannot be made, nor in one where installations.jsonl can be
// appended to but no log file made.
TEST(SeveralStations, NoRunStartsWithoutARecordsFolderThatCanBeWritten) {
  TempDir folder;
  TempDir::Write(folder.File("plain"), "a file, not a folder\n");
  const std::string no_new_files = folder.File("no-new-files");
  std::filesystem::create_directory(no_new_files);
  TempDir::Write(no_new_files + "/installations.jsonl", "");
  if (!SetImmutable(no_new_files, true)) GTEST_SKIP() << "no immutable folders here (root on ext4 has them)";
  // Mutable again however the test ends, so that it can be removed.
  const std::unique_ptr<const std::string, void (*)(const std::string*)> mutable_again(
      &no_new_files, [](const std::string* path) { SetImmutable(*path, false); });
  for (const std::string& records : {folder.File("plain") + "/records", no_new_files}) {
    SCOPED_TRACE(records);
    ChildProcess installer(ZELT20_INSTALL_PROGRAM, {"--yes", "--records", records, "3", "4"},
                           {{"ZELT20_COM3", "/dev/null"}, {"ZELT20_COM4", "/dev/zero"}});
    EXPECT_EQ(installer.WaitForExit(kShortRunLimit), 1);
    EXPECT_EQ(installer.Out(), "");
    const std::vector<std::string> err = Lines(installer.Err());
    ASSERT_EQ(err.size(), 1u) << installer.Err();
    EXPECT_TRUE(err[0].starts_with("zelt20-install: no run was started: ")) << err[0];
  }
}

}  // namespace
}  // namespace zelt20::test
