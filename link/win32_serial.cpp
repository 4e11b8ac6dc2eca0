// The serial device on Windows: a synchronous COM port handle, the device
// path used as it is ("\\.\COM7").
#include <windows.h>

#include <algorithm>

#include "link/serial_device.h"

namespace zelt20 {
namespace {

class Win32SerialDevice final : public SerialDevice {
 public:
  ~Win32SerialDevice() override { Close(); }

  bool Open(const std::string& device) override {
    Close();
    device_ = device;
    open_failure_.reset();
    handle_ = CreateFileA(device.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    return IsOpen() || Failed();
  }

  bool ApplyLineSettings() override {
    if (!IsOpen()) return false;
    DCB settings{};
    settings.DCBlength = sizeof settings;
    if (!GetCommState(handle_, &settings)) return Failed();
    settings.BaudRate = CBR_19200;
    settings.ByteSize = 8;
    settings.Parity = NOPARITY;
    settings.StopBits = ONESTOPBIT;
    settings.fAbortOnError = TRUE;
    return SetCommState(handle_, &settings) != FALSE || Failed();
  }

  bool SetTimeouts(const ReadTimeouts& timeouts) override {
    if (!IsOpen()) return false;
    COMMTIMEOUTS values{};
    values.ReadIntervalTimeout = timeouts.interval_ms;
    values.ReadTotalTimeoutMultiplier = timeouts.total_multiplier_ms;
    values.ReadTotalTimeoutConstant = timeouts.total_constant_ms;
    values.WriteTotalTimeoutMultiplier = 0;
    values.WriteTotalTimeoutConstant = 0;
    return SetCommTimeouts(handle_, &values) != FALSE;
  }

  std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override {
    if (!IsOpen()) return 0;
    const DWORD asked = static_cast<DWORD>(std::min<std::size_t>(capacity, MAXDWORD));
    DWORD got = 0;
    if (!ReadFile(handle_, buffer, asked, &got, nullptr)) return 0;
    return got;
  }

  WriteOutcome Write(const std::uint8_t* data, std::size_t count) override {
    if (!IsOpen() || count > MAXDWORD) return {};
    DWORD sent = 0;
    const BOOL ok = WriteFile(handle_, data, static_cast<DWORD>(count), &sent, nullptr);
    return {ok != FALSE && sent == count, sent};
  }

  void Close() override {
    if (!IsOpen()) return;
    CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  bool IsOpen() const override { return handle_ != INVALID_HANDLE_VALUE; }
  std::optional<DeviceFailure> LastOpenFailure() const override { return open_failure_; }

 private:
  // Records the system's error code as the reason of the failed call.
  bool Failed() {
    open_failure_ = DeviceFailure{device_, static_cast<int>(GetLastError())};
    return false;
  }

  std::string device_;
  std::optional<DeviceFailure> open_failure_;
  // INVALID_HANDLE_VALUE is also the pseudo handle of the process: a closed
  // device never hands it to a system call.
  HANDLE handle_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::unique_ptr<SerialDevice> MakePlatformSerialDevice() {
  return std::make_unique<Win32SerialDevice>();
}

}  // namespace zelt20
