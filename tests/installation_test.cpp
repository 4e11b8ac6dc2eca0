#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "install/installation.h"
#include "sim/report.h"
#include "sim/station_model.h"
#include "sim/station_request.h"
#include "tests/support/recording_run.h"
#include "tests/support/release_text.h"
#include "tests/support/scripted_station.h"
#include "core/cp1251.h"

namespace zelt20 {
namespace {

namespace command = sim::command;
namespace selector = sim::selector;

using test::BuiltInImage;
using test::Bytes;

constexpr CalendarTime kStampTime{2026, 12, 2, 8, 14, 30, 45, 0};

// A whole installation on the virtual clock, against the simulated
// station's model: every wait and time-out costs no real time.
class InstallationTest : public ::testing::Test {
 protected:
  test::VirtualClock clock{0xFFFFF000u};  // the tick counter wraps during the run
  test::ScriptedStation line{clock};
  PortResolver ports = [](const ComPort&) { return ComDevice{"/dev/zelt20-line"}; };
  test::RecordingRun run;
  sim::StationSetup setup;
  std::vector<sim::Fault> faults;
  std::unique_ptr<sim::StationModel> station;
  std::unique_ptr<Installer> installer;

  void SetUp() override { setup.fullpack_version = BuiltInImage().FullpackVersionWord(); }

  RunOutcome Run(const char* port_text = "1") {
    station = std::make_unique<sim::StationModel>(setup, faults);
    line.SetDefaultAnswer([this](const Bytes& request) {
      sim::StationAnswer answer = station->HandleRequest(request);
      answer.bytes.insert(answer.bytes.end(), answer.after_deaf.begin(), answer.after_deaf.end());
      return answer.bytes;
    });
    installer = std::make_unique<Installer>(InstallerPlatform{line, ports, clock, [] { return kStampTime; }});
    return installer->RunInstallation(run, port_text);
  }
  void AddFault(const char* text) {
    const auto fault = sim::ParseFault(text);
    ASSERT_TRUE(fault) << fault.Reason();
    faults.push_back(*fault);
  }
  std::string Log() const { return run.LogUtf8(); }
  bool LogHas(const std::string& text) const { return Log().find(text) != std::string::npos; }
  int Sent(sim::RequestKind kind) const { return station->Activity().Count(kind); }
  void ExpectClosingEnd() const {
    EXPECT_TRUE(run.Flags().finished);
    EXPECT_FALSE(run.Flags().port_may_retry);
    EXPECT_FALSE(line.IsOpen());
    EXPECT_EQ(run.FinishCount(), 1);
  }
};

TEST_F(InstallationTest, SuccessfulRunLogsEveryStepExactly) {
  EXPECT_EQ(Run(), RunOutcome::kInstalled);
  EXPECT_EQ(Log(), test::GoldenLog("installation_success.log", setup.info.version));
  ExpectClosingEnd();
  EXPECT_EQ(line.OpenedPath(), "/dev/zelt20-line");
  EXPECT_EQ(run.BoxCaptions(), (std::vector<std::string>{"Внимание"}));
  EXPECT_EQ(run.BoxTexts()[0],
            "Внимание!!! Процесс смены версии ПО длится 5-7 минут.\r\n"
            "В это время абоненты станции не обслуживаются.");
  // The fullpack is current: the header and the segments make 100 exactly.
  const int header = BuiltInImage().BlockMessageLength(kUpgraderHeaderIndex);
  EXPECT_EQ(installer->Counters().transfer_total, test::CodeSegmentsTotal());
  EXPECT_EQ(installer->Counters().bytes_sent, test::CodeSegmentsTotal() + header);
  EXPECT_EQ(run.Progress().back(), 100);
  EXPECT_EQ(Sent(sim::RequestKind::kFullpackChunk), 0);
  const sim::SimulatorReport report = sim::MakeReport(*station);
  EXPECT_TRUE(report.flash.Matches()) << sim::FormatReport(report);
  EXPECT_EQ(report.flash.header_date_stamp, PackDateStamp(kStampTime));
}

TEST_F(InstallationTest, DifferentFullpackIsSentFirst) {
  setup.fullpack_version = sim::StationSetup::DefaultFullpackVersion();
  EXPECT_EQ(Run(), RunOutcome::kInstalled);
  EXPECT_TRUE(LogHas("Получение версии fullpack... " + test::HexText(setup.fullpack_version) +
                     " \r\nДоступная версия fullpack... " +
                     test::HexText(BuiltInImage().FullpackVersionWord()) +
                     " \r\nЗагрузка нового fullpack...\r\nFullpack загружен\r\nЗагрузка кода...\r\n"));
  EXPECT_EQ(installer->Counters().transfer_total,
            test::CodeSegmentsTotal() + BuiltInImage().BlockMessageLength(kFullpackIndex));
  EXPECT_EQ(run.Progress().back(), 100);
  const sim::SimulatorReport report = sim::MakeReport(*station);
  EXPECT_TRUE(report.flash.fullpack_sent);
  EXPECT_TRUE(report.flash.Matches()) << sim::FormatReport(report);
}

TEST_F(InstallationTest, StationWithoutCodeIsFlashedWithoutBoxesOrModeSwitch) {
  setup.info.version = {0xFF, 0xFF, 0xFFFF};
  setup.info.processor_serial = 0xFFFF;
  EXPECT_EQ(Run(), RunOutcome::kInstalled);
  EXPECT_TRUE(LogHas("Получение версии боевого кода... код отсутствует\r\nЗаводской"));
  EXPECT_TRUE(run.BoxTexts().empty());
  EXPECT_EQ(Sent(sim::RequestKind::kEnterUpgrader), 0);
  EXPECT_TRUE(LogHas("Установка новой версии прошла успешно!\r\n"));
  EXPECT_TRUE(sim::MakeReport(*station).flash.Matches());
}

TEST_F(InstallationTest, SameReleaseAsksFirstAndCancelEndsBeforeAnythingIsSent) {
  setup.info.version = InstallerRelease();
  run.AnswerBoxes({false});
  EXPECT_EQ(Run(), RunOutcome::kStopped);
  EXPECT_EQ(run.BoxTexts(), (std::vector<std::string>{
                                "Внимание!!! Версия установленного ПО не новее имеющейся на процессоре.\r\n"}));
  EXPECT_TRUE(Log().ends_with(" 00000000\r\nВыполнение прервано пользователем\r\n"));
  EXPECT_EQ(line.Requests().size(), 1u);
  ExpectClosingEnd();
}

TEST_F(InstallationTest, OnlyTheExactReleaseGetsTheSameReleaseBox) {
  // One minor number older, a build newer, a major newer.
  const FirmwareVersion release = InstallerRelease();
  for (const FirmwareVersion version :
       {FirmwareVersion{static_cast<std::uint8_t>(release.minor - 1), release.major, release.build},
        FirmwareVersion{release.minor, release.major, static_cast<std::uint16_t>(release.build + 1)},
        FirmwareVersion{release.minor, static_cast<std::uint8_t>(release.major + 1), release.build}}) {
    test::RecordingRun fresh;
    setup.info.version = version;
    fresh.AnswerBoxes({false});
    station = std::make_unique<sim::StationModel>(setup);
    line.SetDefaultAnswer([this](const Bytes& request) { return station->HandleRequest(request).bytes; });
    Installer one_run({line, ports, clock, [] { return kStampTime; }});
    one_run.RunInstallation(fresh, "1");
    ASSERT_EQ(fresh.BoxTexts().size(), 1u);
    EXPECT_TRUE(fresh.BoxTexts()[0].starts_with("Внимание!!! Процесс смены"));
  }
}

TEST_F(InstallationTest, CancelInTheDurationBoxSendsNothingMore) {
  run.AnswerBoxes({false});
  EXPECT_EQ(Run(), RunOutcome::kStopped);
  EXPECT_TRUE(Log().ends_with(" 00000000\r\nВыполнение прервано пользователем\r\n"));
  EXPECT_EQ(line.Requests().size(), 1u);
  ExpectClosingEnd();
}

TEST_F(InstallationTest, BiosBelowFourRefusesTheReflash) {
  setup.info.bios = 3;
  EXPECT_EQ(Run(), RunOutcome::kFailed);
  EXPECT_TRUE(Log().ends_with("\r\nОшибка: данная версия BIOS не допускает перепрошивку!\r\n"));
  EXPECT_TRUE(run.BoxTexts().empty());
  ExpectClosingEnd();
}

TEST_F(InstallationTest, RebootingStationIsWaitedForAndTheLineDrained) {
  setup.info.reserved_1 = 1;
  int reads_before_query = 0;
  line.OnWrite([&](const Bytes& request) {
    if (request == test::RequestBytes(command::kUpgrade, selector::kFullpackVersion)) {
      reads_before_query = line.ReadCount();
    }
  });
  EXPECT_EQ(Run(), RunOutcome::kInstalled);
  EXPECT_TRUE(LogHas("Станция перегружается в режиме апгрейтора...\r\nПолучение версии fullpack..."));
  // The identify reply and the one drain read, which swallowed the boot noise.
  EXPECT_EQ(reads_before_query, 2);
  EXPECT_TRUE(sim::MakeReport(*station).flash.Matches());
}

TEST_F(InstallationTest, RebootWaitAndDrainReadTakeTheirTime) {
  setup.info.reserved_1 = 1;
  setup.boot_noise.clear();  // a silent station: the drain read runs to its total time-out
  std::vector<std::uint32_t> write_times;
  line.OnWrite([&](const Bytes&) { write_times.push_back(clock.Now()); });
  Run();
  // identify, enter upgrader mode, then the fullpack query after 8 s, the
  // 53 s drain read and the 200 ms pause.
  ASSERT_GE(write_times.size(), 3u);
  EXPECT_EQ(write_times[2] - write_times[1], 8000u + 53000u + 200u);
}

TEST_F(InstallationTest, WithoutTheRebootFlagThereIsNoWait) {
  std::vector<std::uint32_t> write_times;
  line.OnWrite([&](const Bytes&) { write_times.push_back(clock.Now()); });
  Run();
  ASSERT_GE(write_times.size(), 3u);
  EXPECT_EQ(write_times[2] - write_times[1], 200u);
  EXPECT_FALSE(LogHas("перегружается"));
}

TEST_F(InstallationTest, SegmentFailureEndsTheRunThere) {
  AddFault("status=2700:segment12");
  EXPECT_EQ(Run(), RunOutcome::kFailed);
  EXPECT_TRUE(LogHas(test::SegmentLoadedLine(11)));
  EXPECT_TRUE(Log().ends_with("ответ - неправильный тип ППЗУ\r\n \r\nОшибка: соединение потеряно!\r\n"));
  EXPECT_EQ(station->Blocks().segments_confirmed, 12);
  EXPECT_EQ(Sent(sim::RequestKind::kWriteProm), 0);
  ExpectClosingEnd();
}

// Stop pressed at a moment of the run: when the log gets a line starting
// with `after_line`, or while the reply to the n-th request written after
// that line is awaited. Whatever the moment, no request goes out after it.
enum class StopMoment { kPauseAfterIdentify, kLastChunkOfTheRun, kMiddleChunk };

struct StopPlan {
  std::string after_line;  // UTF-8
  int requests_later = 0;
  std::string log_tail;
};

StopPlan PlanFor(StopMoment moment) {
  const std::string stopped = "\r\nВыполнение прервано пользователем\r\n";
  const int last_segment = kSegmentCount - 1;
  switch (moment) {
    // During the pause after the record; OK in the duration box that
    // follows must not send enter upgrader mode.
    case StopMoment::kPauseAfterIdentify:
      return {"Резервное поле", 0, " 00000000\r\n" + stopped};
    // While the last chunk of the last segment waits for its reply: the
    // segment is loaded, write PROM stays unsent.
    case StopMoment::kLastChunkOfTheRun:
      return {test::SegmentLoadedLine(last_segment - 1),
              (BuiltInImage().BlockMessageLength(last_segment) + 255) / 256,
              test::SegmentLoadedLine(last_segment) + "Запись ППЗУ...\r\n" + stopped};
    // While chunk 2 of segment 12 waits for its reply: chunk 3 stays unsent.
    case StopMoment::kMiddleChunk:
      return {test::SegmentLoadedLine(11), 2, test::SegmentLoadedLine(11) + stopped};
  }
  return {};
}

class StopPressed : public InstallationTest, public ::testing::WithParamInterface<StopMoment> {
 protected:
  const StopPlan plan = PlanFor(GetParam());
  std::size_t requests_at_stop = 0;
  int requests_to_wait = -1;  // -1: the line has not come yet

  void PressStopAtTheMoment() {
    run.OnAppend([this, after_line = Utf8ToCp1251(plan.after_line)](const std::string& text) {
      if (requests_to_wait >= 0 || !text.starts_with(after_line)) return;
      requests_to_wait = plan.requests_later;
      if (requests_to_wait == 0) PressStop();
    });
    line.OnWrite([this](const Bytes&) {
      if (requests_to_wait > 0) --requests_to_wait;
    });
    line.OnRead([this] {
      if (requests_to_wait == 0 && !run.StopRequested()) PressStop();
    });
  }
  void PressStop() {
    run.Flags().stop_requested = true;
    requests_at_stop = line.Requests().size();
  }
};

TEST_P(StopPressed, LetsNoFurtherRequestOut) {
  ASSERT_GE(BuiltInImage().BlockMessageLength(12), 3 * 256) << "segment 12 needs a third chunk";
  PressStopAtTheMoment();
  EXPECT_EQ(Run(), RunOutcome::kStopped);
  ASSERT_TRUE(run.Flags().stop_requested);
  EXPECT_EQ(line.Requests().size(), requests_at_stop);
  EXPECT_FALSE(station->PromWritten());
  EXPECT_TRUE(Log().ends_with(plan.log_tail)) << Log();
  ExpectClosingEnd();
}

INSTANTIATE_TEST_SUITE_P(Moments, StopPressed,
                         ::testing::Values(StopMoment::kPauseAfterIdentify,
                                           StopMoment::kLastChunkOfTheRun,
                                           StopMoment::kMiddleChunk),
                         [](const auto& test_case) {
                           switch (test_case.param) {
                             case StopMoment::kPauseAfterIdentify: return "PauseAfterIdentify";
                             case StopMoment::kLastChunkOfTheRun: return "LastSegment";
                             case StopMoment::kMiddleChunk: return "MiddleChunk";
                           }
                           return "";
                         });

TEST_F(InstallationTest, StopBeforeIdentifyEndsWithoutALine) {
  run.Flags().stop_requested = true;
  EXPECT_EQ(Run(), RunOutcome::kStopped);
  EXPECT_TRUE(line.Requests().empty());
  EXPECT_TRUE(Log().ends_with("открыт на 19200\r\n"));
  ExpectClosingEnd();
}

TEST_F(InstallationTest, PromOperationFailureIsNoSuccess) {
  AddFault("status=2800:prom");
  EXPECT_EQ(Run(), RunOutcome::kFailed);
  EXPECT_TRUE(Log().ends_with("Запись ППЗУ...\r\n\r\nОшибка:ответ - операция с ППЗУ не выполнена\r\n"
                              " \r\nОшибка:  команда не выполнена!\r\n"));
}

TEST_F(InstallationTest, ShortIdentifyReplyIsAFailedCommand) {
  line.SetDefaultAnswer([](const Bytes&) { return test::ReplyBytes(command::kIdentify, 0x0100, Bytes(20, 1)); });
  Installer one_run({line, ports, clock, [] { return kStampTime; }});
  EXPECT_EQ(one_run.RunInstallation(run, "1"), RunOutcome::kFailed);
  EXPECT_TRUE(Log().ends_with("Получение версии боевого кода... \r\nОшибка: команда не выполнена!\r\n"));
  EXPECT_EQ(line.Requests().size(), 1u);
}

TEST_F(InstallationTest, SilentStationFailsTheIdentifyCommand) {
  line.SetDefaultAnswer([](const Bytes&) { return Bytes{}; });
  Installer one_run({line, ports, clock, [] { return kStampTime; }});
  const std::uint32_t start = clock.Now();
  EXPECT_EQ(one_run.RunInstallation(run, "1"), RunOutcome::kFailed);
  EXPECT_TRUE(Log().ends_with("исчерпано число перезапросов\r\n\r\nОшибка: команда не выполнена!\r\n"));
  EXPECT_EQ(clock.Now() - start, 2u * 53000u);
}

struct PortTextCase {
  const char* text;
  const char* error;         // null: accepted
  std::uint32_t number = 0;  // accepted: the port the resolver is asked for
};

class PortText : public ::testing::TestWithParam<PortTextCase> {};

// The resolver gets the plain number; the log names the path as the
// operator gave it.
TEST_P(PortText, IsCheckedBeforeThePortIsTouched) {
  test::VirtualClock clock;
  test::ScriptedStation line{clock};
  line.FailOpen(13);
  const PortResolver ports = [](const ComPort& port) {
    return ComDevice{"/dev/ttyUSB" + std::to_string(port.number)};
  };
  test::RecordingRun run;
  Installer installer({line, ports, clock, [] { return kStampTime; }});
  EXPECT_EQ(installer.RunInstallation(run, GetParam().text), RunOutcome::kEarlyEnd);
  const std::string log = run.LogUtf8();
  if (GetParam().error != nullptr) {
    EXPECT_EQ(log, std::string("\r\nОшибка: ") + GetParam().error + "\r\n");
    EXPECT_FALSE(installer.PortFailure());
  } else {
    EXPECT_EQ(log, std::string("\r\nОшибка: невозможно открыть порт! \\\\.\\COM") + GetParam().text + "\r\n");
    ASSERT_TRUE(installer.PortFailure());
    EXPECT_EQ(installer.PortFailure()->error, 13);
    EXPECT_EQ(installer.PortFailure()->device, "/dev/ttyUSB" + std::to_string(GetParam().number));
  }
  EXPECT_TRUE(run.Flags().port_may_retry);
  EXPECT_FALSE(run.Flags().finished);
  EXPECT_EQ(run.FinishCount(), 1);
  EXPECT_EQ(line.CloseCount(), 0);
}

constexpr const char* kWrongNumber = "неправильный номер COM порта!";
INSTANTIATE_TEST_SUITE_P(
    Validation, PortText,
    ::testing::Values(PortTextCase{"", "не указан номер COM порта!"}, PortTextCase{"0", kWrongNumber},
                      PortTextCase{"256", kWrongNumber}, PortTextCase{"1a", kWrongNumber},
                      PortTextCase{" 1", kWrongNumber}, PortTextCase{"COM5", kWrongNumber},
                      PortTextCase{"0000000000000000000000000000000000000000000007", kWrongNumber},
                      PortTextCase{"99999999999999999999", kWrongNumber},
                      PortTextCase{"255", nullptr, 255}, PortTextCase{"007", nullptr, 7},
                      PortTextCase{"000000000000000000000000000000000000000000007", nullptr, 7}));

// Why the port did not open belongs to the run that tried: a later run that
// never gets to the port, or opens it, has no such reason.
TEST_F(InstallationTest, PortFailureIsTheLastRunsOwn) {
  line.FailOpen(16);
  EXPECT_EQ(Run("7"), RunOutcome::kEarlyEnd);
  ASSERT_TRUE(installer->PortFailure());
  EXPECT_EQ(installer->PortFailure()->device, "/dev/zelt20-line");
  EXPECT_EQ(installer->PortFailure()->error, 16);
  EXPECT_EQ(installer->RunInstallation(run, "x"), RunOutcome::kEarlyEnd);
  EXPECT_FALSE(installer->PortFailure());
  line.FailOpen(0);
  EXPECT_NE(installer->RunInstallation(run, "7"), RunOutcome::kEarlyEnd);
  EXPECT_FALSE(installer->PortFailure());
}

// The log names the port as the operator gave it; the device opened is the
// one the resolver says COM7 stands for.
TEST_F(InstallationTest, OpenedPortLogsTheProgramVersionAndPath) {
  Run("007");
  EXPECT_EQ(line.OpenedPath(), "/dev/zelt20-line");
  EXPECT_TRUE(LogHas(test::ProgramVersionLine() + "\\\\.\\COM007 открыт на 19200\r\n"));
}

}  // namespace
}  // namespace zelt20
