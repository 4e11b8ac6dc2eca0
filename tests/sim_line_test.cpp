// The simulator on a real pseudo-terminal, in this process, talked to
// through the installer's own link layer and POSIX serial backend. Each
// exchange costs the installer's read interval (about 200 ms); nothing here
// is timed.
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "install/station_info.h"
#include "link/serial_device.h"
#include "link/station_link.h"
#include "sim/station_reply.h"
#include "sim/station_request.h"
#include "sim/station_simulator.h"
#include "tests/support/recording_run.h"
#include "tests/support/scripted_station.h"

namespace zelt20::sim {
namespace {

using std::chrono::milliseconds;

constexpr const char* kPortPath = "\\\\.\\COM231";

// A simulator on a new pty and the installer's link, its port not yet open.
class SimulatedLine : public ::testing::Test {
 protected:
  SimulatorOptions options;
  std::unique_ptr<StationSimulator> station;
  std::unique_ptr<SerialDevice> device = MakePlatformSerialDevice();
  test::RecordingRun run;
  StationLink link{*device, run};

  void Start() {
    station = std::make_unique<StationSimulator>(options);
    const Checked<> started = station->Start();
    ASSERT_TRUE(started) << started.Reason();
  }
  LinkResult Open() { return link.OpenPort(kPortPath, station->LinePath()); }
  void TearDown() override {
    link.ClosePort();
    if (station) station->Stop();
  }
  ExchangeResult Exchange(std::uint16_t command, std::uint16_t selector, ReplyBuffer& reply) {
    return link.ExchangeCommand(command, selector, 0, reply).result;
  }
  // The record the station answers to the identify command.
  std::optional<StationInfo> Identify() {
    ReplyBuffer reply{};
    const ExchangeOutcome identified =
        link.ExchangeCommand(command::kIdentify, selector::kMode, 0, reply);
    if (identified.result != ExchangeResult::kReplyWithData) return std::nullopt;
    return StationInfoFromReply(reply, identified.reply_length);
  }
  std::string Log() const { return run.LogUtf8(); }
};

void ExpectSameRecord(const std::optional<StationInfo>& got, const StationInfo& want) {
  ASSERT_TRUE(got);
  EXPECT_EQ(RecordBytes(*got), RecordBytes(want));
}

TEST_F(SimulatedLine, IdentifiesToTheInstallerAcrossACloseAndReopen) {
  options.station.info.processor_serial = 4711;
  Start();
  ASSERT_EQ(Open(), LinkResult::kDone) << Log();
  ExpectSameRecord(Identify(), options.station.info);
  link.ClosePort();

  // The station waits out the closed line and answers the next opening.
  ASSERT_EQ(Open(), LinkResult::kDone) << Log();
  ExpectSameRecord(Identify(), options.station.info);
  EXPECT_EQ(station->Report().activity.Count(RequestKind::kIdentify), 2);
  EXPECT_TRUE(Log().empty()) << Log();
}

TEST_F(SimulatedLine, PacedRepliesAndACutReplyGoThroughTheInstallersResend) {
  options.line.wire_time = true;
  options.faults.push_back(*ParseFault("cut=5:identify#1"));
  Start();
  ASSERT_EQ(Open(), LinkResult::kDone) << Log();
  ExpectSameRecord(Identify(), options.station.info);
  EXPECT_NE(Log().find("прием пакета не выполнен\r\nПерепосылка...\r\n"), std::string::npos) << Log();
  EXPECT_EQ(station->Report().activity.retransmissions, 1);
}

TEST_F(SimulatedLine, RebootingStationHearsNothingAndThenSendsItsBootNoise) {
  options.station.info.reserved_1 = 1;
  options.station.reboot_time = milliseconds(300);
  Start();
  ASSERT_EQ(Open(), LinkResult::kDone) << Log();
  ReplyBuffer reply{};
  ASSERT_EQ(Exchange(command::kUpgrade, selector::kMode, reply), ExchangeResult::kAcknowledged);
  // An identify request during the reboot is not heard: only the noise comes.
  const test::Bytes identify = test::RequestBytes(command::kIdentify, selector::kMode);
  ASSERT_TRUE(device->Write(identify.data(), identify.size()).succeeded);
  ASSERT_EQ(link.SetReadTimeouts(20), LinkResult::kDone);  // a silent line ends the read after 5.3 s
  std::vector<std::uint8_t> drained(kFrameSize);
  drained.resize(device->Read(drained.data(), drained.size()));
  EXPECT_EQ(drained, StationSetup::DefaultBootNoise());
  ExpectSameRecord(Identify(), options.station.info);
  EXPECT_EQ(station->Report().activity.Count(RequestKind::kIdentify), 1);
}

TEST_F(SimulatedLine, ExitAfterPromEndsOnceTheInstallerClosesTheLine) {
  options.station.info.version = {0xFF, 0xFF, 0xFFFF};
  options.line.exit_after_prom = true;
  Start();
  ASSERT_EQ(Open(), LinkResult::kDone) << Log();
  ReplyBuffer reply{};
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kWriteProm, reply), ExchangeResult::kAcknowledged) << Log();
  EXPECT_FALSE(station->End());
  link.ClosePort();
  ASSERT_TRUE(station->WaitUntilEnded(milliseconds(4000)));
  EXPECT_EQ(station->End(), LineEnd::kPromWritten);
  const SimulatorReport report = station->Report();
  EXPECT_EQ(report.activity.prom_writes, 1);
  EXPECT_FALSE(report.flash.Matches());  // nothing was sent before the write
}

}  // namespace
}  // namespace zelt20::sim
#endif
