// One serial device as the platform offers it. The station link's port
// operations (port.h) sit on top and own the log lines; each platform
// supplies a backend with the same read semantics.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace zelt20 {

// What one write did: whether every byte went, and how many did.
struct WriteOutcome {
  bool succeeded = false;
  std::size_t written = 0;
};

// Read time-outs in the platform's terms: a read ends when capacity bytes
// have come, when no byte follows the last one for more than `interval` ms
// (counted only once a byte has come), or when multiplier x capacity +
// constant ms have passed since the read began.
struct ReadTimeouts {
  std::uint32_t interval_ms = 0;
  std::uint32_t total_multiplier_ms = 0;
  std::uint32_t total_constant_ms = 0;
};

// Why a device could not be opened or set up: the device and the system's
// error code (errno on POSIX, GetLastError on Windows), taken at the failing
// call, before any clean-up could change it.
struct DeviceFailure {
  std::string device;
  int error = 0;
};


// A device owns what the platform opened for it: it is never copied.
class SerialDevice {
 public:
  SerialDevice() = default;
  SerialDevice(const SerialDevice&) = delete;
  SerialDevice& operator=(const SerialDevice&) = delete;
  virtual ~SerialDevice() = default;

  // Opens the device (/dev/ttyUSB0, \\.\COM7) for reading and writing,
  // exclusively. False when it is absent, in use or not accessible; nothing
  // is left open then.
  virtual bool Open(const std::string& device) = 0;
  // Reads the current line settings and writes them back with 19200 baud,
  // 8 data bits, no parity, one stop bit and abort-on-error; everything else
  // (flow control, modem lines) as the port had it. False when that fails.
  virtual bool ApplyLineSettings() = 0;
  virtual bool SetTimeouts(const ReadTimeouts& timeouts) = 0;
  // One read under the current time-outs; returns the bytes delivered
  // (0 when the read failed, timed out empty or the line hung up).
  virtual std::size_t Read(std::uint8_t* buffer, std::size_t capacity) = 0;
  // Writes all bytes, waiting until the driver has taken them.
  virtual WriteOutcome Write(const std::uint8_t* data, std::size_t count) = 0;
  virtual void Close() = 0;
  virtual bool IsOpen() const = 0;
  // Why the last Open or ApplyLineSettings failed; none once Open succeeds.
  virtual std::optional<DeviceFailure> LastOpenFailure() const { return std::nullopt; }
};

// The backend of the platform the program is built for.
std::unique_ptr<SerialDevice> MakePlatformSerialDevice();

}  // namespace zelt20
