// Whole installation runs in this process over a pseudo-terminal: the
// installer's worker thread with the platform's serial port and the real
// clock, the simulated station on its own thread at the other end. After
// every end the port must be closed and no descriptor left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/line_run.h"
#include "tests/support/release_text.h"

namespace zelt20::test {
namespace {

using namespace std::chrono_literals;
using sim::RequestKind;

const std::string kStoppedLine = "\r\nВыполнение прервано пользователем\r\n";

class InstallationOverAPty : public ::testing::Test {
 protected:
  sim::SimulatorOptions options;
  std::vector<std::string> descriptors_before = OpenDescriptors();

  // The port is released at the end of the run and nothing stays open once
  // the station is gone too.
  static void ExpectPortReleased(const StationOnLine& station) {
    EXPECT_FALSE(HeldOpen(station.Device()));
    EXPECT_TRUE(OpensAgain(station.Device()));
  }
  void TearDown() override { EXPECT_EQ(OpenDescriptors(), descriptors_before); }
};

TEST_F(InstallationOverAPty, WholeRunSendsTheFullpackAndStampsTheStationsFields) {
  StationInfo& info = options.station.info;
  info.processor_serial = 4711;
  info.bios = 7;
  info.monitor = 0x0204;
  info.ram_kb = 1024;
  info.minimum_code_version = 0x0202;
  info.hardware_version_1 = 0x00020003;
  info.hardware_version_2 = 0x00000005;
  const std::string fullpack = HexText(BuiltInImage().FullpackVersionWord());
  ASSERT_NE(options.station.fullpack_version, BuiltInImage().FullpackVersionWord());
  StationOnLine station(options, 41);
  InstallerThread installer(station);

  const std::uint32_t stamp_before = PackDateStamp(LocalTimeNow());
  installer.Start();
  const InstallerRunResult run = installer.Join();
  const std::uint32_t stamp_after = PackDateStamp(LocalTimeNow());

  EXPECT_EQ(run.outcome, RunOutcome::kInstalled);
  EXPECT_NE(run.log.find("Доступная версия fullpack... " + fullpack +
                         " \r\nЗагрузка нового fullpack...\r\n"
                         "Fullpack загружен\r\nЗагрузка кода...\r\nЗаголовок апгрейтора загружен\r\n"),
            std::string::npos)
      << run.log;
  EXPECT_TRUE(
      run.log.ends_with(SegmentLoadedLine(kSegmentCount - 1) +
                        "Запись ППЗУ...\r\nУстановка новой версии прошла успешно!\r\n"))
      << run.log;
  EXPECT_EQ(run.last_progress, 100);
  EXPECT_TRUE(run.finished);
  EXPECT_FALSE(run.port_may_retry);
  EXPECT_EQ(run.finish_calls, 1);

  // The flash check: every block as embedded, the header stamped with the
  // release number, this station's fields and a valid checksum.
  const sim::SimulatorReport report = station.Report();
  EXPECT_TRUE(report.flash.Matches()) << sim::FormatReport(report);
  EXPECT_TRUE(report.flash.fullpack_sent);
  EXPECT_GE(report.flash.header_date_stamp, stamp_before);
  EXPECT_LE(report.flash.header_date_stamp, stamp_after);
  EXPECT_EQ(report.activity.retransmissions, 0);
  ExpectPortReleased(station);
}

TEST_F(InstallationOverAPty, RebootingStationIsWaitedOutAndItsBootNoiseDrained) {
  options.station.info.reserved_1 = 1;
  options.station.fullpack_version = BuiltInImage().FullpackVersionWord();
  const std::string fullpack = HexText(options.station.fullpack_version);
  StationOnLine station(options, 42);
  InstallerThread installer(station);
  installer.OnLine("Доступная версия fullpack...", [&] { installer.Window().Flags().stop_requested = true; });
  installer.Start();
  const InstallerRunResult run = installer.Join();

  // Had the noise stayed on the line, the query's read would have taken it
  // with the reply and failed.
  EXPECT_TRUE(
      run.log.ends_with("Станция перегружается в режиме апгрейтора...\r\n"
                        "Получение версии fullpack... " + fullpack +
                        " \r\nДоступная версия fullpack... " + fullpack +
                        " \r\nЗагрузка кода...\r\n" +
                        kStoppedLine))
      << run.log;
  EXPECT_EQ(run.outcome, RunOutcome::kStopped);
  const sim::SimulatorReport report = station.Report();
  EXPECT_EQ(report.activity.reboots, 1);
  EXPECT_EQ(report.activity.Count(RequestKind::kFullpackVersion), 1);
  EXPECT_EQ(report.activity.Count(RequestKind::kMalformed), 0);
  // The 8-second wait was waited, and the drain read did not run to its
  // 53-second end: the noise ended it (a lower bound only).
  const FirmwareImage image;
  EXPECT_GE(run.elapsed, StationRunTimes(image, options.station).BeforeHeader() - 20ms);
  ExpectPortReleased(station);
}

TEST_F(InstallationOverAPty, StopPressedOnTheWindowThreadEndsTheRunAtTheNextRequest) {
  options.station.fullpack_version = BuiltInImage().FullpackVersionWord();
  StationOnLine station(options, 43);
  InstallerThread installer(station);
  // Stop pressed while the worker is busy with the longest code segment, as
  // the window thread sets the flag.
  int longest = 0;
  for (int segment = 1; segment < kSegmentCount; ++segment) {
    if (BuiltInImage().BlockMessageLength(segment) > BuiltInImage().BlockMessageLength(longest)) {
      longest = segment;
    }
  }
  const std::string line_before =
      longest == 0 ? "Заголовок апгрейтора загружен\r\n" : SegmentLoadedLine(longest - 1);
  std::promise<void> block_loaded;
  installer.OnLine(line_before, [&] { block_loaded.set_value(); });
  installer.Start();
  ASSERT_EQ(block_loaded.get_future().wait_for(60s), std::future_status::ready);
  std::this_thread::sleep_for(300ms);
  installer.Window().Flags().stop_requested = true;
  const InstallerRunResult run = installer.Join();

  EXPECT_TRUE(run.log.ends_with(line_before + kStoppedLine)) << run.log;
  EXPECT_EQ(run.outcome, RunOutcome::kStopped);
  EXPECT_TRUE(run.finished);
  EXPECT_EQ(station.Report().blocks.segments_confirmed, longest);
  ExpectPortReleased(station);
}

}  // namespace
}  // namespace zelt20::test
