// The station's serial port: open, set read time-outs, read, write, close,
// with the log lines the operator sees when one of them fails.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "link/protocol.h"
#include "link/serial_device.h"
#include "core/message_log.h"

namespace zelt20 {

// The plain result of the station link, in its written values: the port's
// OpenPort and SetReadTimeouts, and the packet layer's SendPacket and
// ReceivePacket return it.
enum class LinkResult {
  kDone = 0,
  kFailed = 1,  // already reported in the log
};

class StationPort {
 public:
  StationPort(SerialDevice& device, MessageLog& log) : device_(device), log_(log) {}

  // Opens the device that the port path ("\\.\COM7") stands for. kDone:
  // open at 19200 8N1 with 150 ms read time-outs; kFailed: failure
  // reported, with the path.
  LinkResult OpenPort(const char* path, const std::string& device);
  // Interval, multiplier and constant all t ms. kFailed (port closed) when
  // no port is open or the platform refuses.
  LinkResult SetReadTimeouts(std::uint32_t t);
  std::size_t ReadPort(std::uint8_t* buffer, std::size_t capacity);
  // A failed write is not reported here: the packet layer reports it.
  WriteOutcome WritePort(const std::uint8_t* data, std::size_t count);
  void ClosePort();

 private:
  void ReportCannotOpen(const char* path);

  SerialDevice& device_;
  MessageLog& log_;
};

}  // namespace zelt20
