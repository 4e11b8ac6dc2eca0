// The station port's log lines with the platform's serial device, named the
// way a run names it ("\\.\COM9"); on POSIX over a real pseudo-terminal.
#include "link/port.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "tests/support/recording_run.h"
#if !defined(_WIN32)
#include "tests/support/pty_pair.h"
#endif

namespace zelt20 {
namespace {

using test::RecordingRun;
using Lines = std::vector<std::string>;

constexpr char kPort9[] = "\\\\.\\COM9";

// The platform device, counting the closes asked of it.
class CountingDevice final : public SerialDevice {
 public:
  bool Open(const std::string& path) override { return device_->Open(path); }
  bool ApplyLineSettings() override { return device_->ApplyLineSettings(); }
  bool SetTimeouts(const ReadTimeouts& timeouts) override { return device_->SetTimeouts(timeouts); }
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override {
    return device_->Read(buffer, capacity);
  }
  WriteOutcome Write(const std::uint8_t* data, std::size_t count) override {
    return device_->Write(data, count);
  }
  void Close() override {
    ++closes;
    device_->Close();
  }
  bool IsOpen() const override { return device_->IsOpen(); }

  int closes = 0;

 private:
  std::unique_ptr<SerialDevice> device_ = MakePlatformSerialDevice();
};

// One run's port: the device, the log it writes to and the port operations.
struct RunPort {
  CountingDevice device;
  RecordingRun run;
  MessageLog log{run};
  StationPort port{device, log};
};

const Lines kCannotOpenPort9 = {"\r\nОшибка: ", "невозможно открыть порт! \\\\.\\COM9\r\n"};

#if !defined(_WIN32)
using test::PtyPair;

// These two need a line; on Windows the installation against the simulated
// station opens one.
TEST(StationPortOnPty, OpensTheDeviceSilently) {
  PtyPair pty;
  RunPort station;
  ASSERT_EQ(station.port.OpenPort(kPort9, pty.SlavePath()), LinkResult::kDone);
  EXPECT_TRUE(station.run.Appends().empty());

  const std::uint8_t request[] = {0x01, 0x02, 0xFF};
  ASSERT_TRUE(station.port.WritePort(request, sizeof request).succeeded);
  EXPECT_EQ(pty.Receive(sizeof request, 1000), std::vector<std::uint8_t>(request, request + 3));
  ASSERT_EQ(station.port.SetReadTimeouts(75), LinkResult::kDone);
  pty.Send({0x05});
  std::uint8_t reply[4] = {};
  EXPECT_EQ(station.port.ReadPort(reply, 1), 1u);
  EXPECT_EQ(reply[0], 0x05);
  station.port.ClosePort();
  EXPECT_FALSE(station.device.IsOpen());
}

TEST(StationPortOnPty, PortInUseGivesTheTwoLinesAndClosesNothing) {
  PtyPair pty;
  RunPort holder;
  ASSERT_EQ(holder.port.OpenPort(kPort9, pty.SlavePath()), LinkResult::kDone);

  RunPort second;
  EXPECT_EQ(second.port.OpenPort(kPort9, pty.SlavePath()), LinkResult::kFailed);
  EXPECT_EQ(second.run.AppendsUtf8(), kCannotOpenPort9);
  EXPECT_EQ(second.device.closes, 0);
  EXPECT_TRUE(holder.device.IsOpen());
}
#endif

TEST(StationPortOnPty, MissingDeviceGivesTheSameTwoLines) {
  RunPort station;
  EXPECT_EQ(station.port.OpenPort(kPort9, "/nonexistent/zelt20-tty"), LinkResult::kFailed);
  EXPECT_EQ(station.run.AppendsUtf8(), kCannotOpenPort9);
  EXPECT_EQ(station.device.closes, 0);
  EXPECT_FALSE(station.device.IsOpen());
}

TEST(StationPortOnPty, TimeoutsWithoutAnOpenPortAreReported) {
  RunPort station;
  EXPECT_EQ(station.port.SetReadTimeouts(kOpenTimeoutMs), LinkResult::kFailed);
  EXPECT_EQ(station.run.AppendsUtf8(), (Lines{"\r\nОшибка: ", "невозможно открыть порт!\r\n"}));
  station.port.ClosePort();
  EXPECT_EQ(station.device.closes, 0);
}

}  // namespace
}  // namespace zelt20
