// The Win32 serial device where no COM port is needed: a file that opens
// but is no serial port, the exclusive open, and a device that is closed;
// and the exclusive open of a serial port where one is named.
// The installation against the simulated station exercises a real line.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "link/port.h"
#include "link/serial_device.h"
#include "tests/support/recording_run.h"
#include "tests/support/temp_dir.h"

namespace zelt20 {
namespace {

using test::RecordingRun;
using test::TempDir;

// A file that CreateFileA opens like a device.
struct DeviceFile {
  DeviceFile() { TempDir::Write(path, "not a serial port"); }

  TempDir dir;
  std::string path = dir.File("port");
};

// Whether some other opener can have the file to itself now.
bool OpensExclusively(const std::string& path) {
  const HANDLE handle = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  CloseHandle(handle);
  return true;
}

TEST(Win32Serial, DeviceThatTakesNoLineSettingsIsReportedAndClosed) {
  DeviceFile file;
  const std::unique_ptr<SerialDevice> device = MakePlatformSerialDevice();
  RecordingRun run;
  MessageLog log(run);
  StationPort port(*device, log);

  EXPECT_EQ(port.OpenPort(file.path.c_str(), file.path), LinkResult::kFailed);
  EXPECT_EQ(run.AppendsUtf8(),
            (std::vector<std::string>{"\r\nОшибка: ", "невозможно открыть порт! " + file.path + "\r\n"}));
  EXPECT_FALSE(device->IsOpen());
  EXPECT_TRUE(OpensExclusively(file.path));  // the handle was really closed
}

TEST(Win32Serial, OpenHoldsTheDeviceForItselfUntilClosed) {
  DeviceFile file;
  const std::unique_ptr<SerialDevice> holder = MakePlatformSerialDevice();
  const std::unique_ptr<SerialDevice> second = MakePlatformSerialDevice();
  ASSERT_TRUE(holder->Open(file.path));

  EXPECT_FALSE(second->Open(file.path));
  EXPECT_FALSE(second->IsOpen());
  EXPECT_FALSE(OpensExclusively(file.path));

  holder->Close();
  EXPECT_TRUE(second->Open(file.path));
}

// Wine gives no exclusive access to character devices: share mode 0 keeps
// out nobody there (a Windows serial driver refuses every second open).
bool RunsUnderWine() {
  const HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
}

// A serial port is held the same way: COM<ZELT20_TEST_COM>, a station's
// line or any port this machine has.
TEST(Win32Serial, OpenHoldsASerialPortForItself) {
  if (RunsUnderWine()) GTEST_SKIP() << "Wine gives no exclusive access to character devices";
  const char* com = std::getenv("ZELT20_TEST_COM");
  if (com == nullptr) GTEST_SKIP() << "no serial port named (ZELT20_TEST_COM)";
  const std::string path = std::string("\\\\.\\COM") + com;
  const std::unique_ptr<SerialDevice> holder = MakePlatformSerialDevice();
  ASSERT_TRUE(holder->Open(path)) << path;
  EXPECT_FALSE(OpensExclusively(path));
}

TEST(Win32Serial, MissingPortLeavesNothingOpen) {
  const std::unique_ptr<SerialDevice> device = MakePlatformSerialDevice();
  EXPECT_FALSE(device->Open("\\\\.\\COM250"));
  EXPECT_FALSE(device->IsOpen());
}

TEST(Win32Serial, ClosedDeviceRefusesEverythingAndClosesTwiceHarmlessly) {
  const std::unique_ptr<SerialDevice> device = MakePlatformSerialDevice();
  std::uint8_t buffer[8] = {1, 2, 3};
  EXPECT_FALSE(device->ApplyLineSettings());
  EXPECT_FALSE(device->SetTimeouts({75, 75, 75}));
  EXPECT_EQ(device->Read(buffer, sizeof buffer), 0u);
  const WriteOutcome write = device->Write(buffer, 3);
  EXPECT_FALSE(write.succeeded);
  EXPECT_EQ(write.written, 0u);
  device->Close();
  device->Close();
  EXPECT_FALSE(device->IsOpen());
}

}  // namespace
}  // namespace zelt20
