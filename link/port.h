// The station's serial port: open, set read time-outs, read, write, close,
// with the log lines the operator sees when one of them fails.
#pragma once

#include <cstddef>
#include <cstdint>

#include "link/serial_device.h"
#include "core/message_log.h"

namespace zelt20 {

// Read time-outs in use: at opening and at the start of each block, before
// the last chunk of a block and for most requests, for the 0xFFFF requests,
// and for writing the PROM.
inline constexpr std::uint32_t kOpenTimeoutMs = 150;
inline constexpr std::uint32_t kLastChunkTimeoutMs = 75;
inline constexpr std::uint32_t kModeRequestTimeoutMs = 200;
inline constexpr std::uint32_t kWritePromTimeoutMs = 500;

class StationPort {
 public:
  StationPort(SerialDevice& device, MessageLog& log) : device_(device), log_(log) {}

  // Opens the device that the port path ("\\.\COM7") stands for (see
  // port_path.h). 0: open at 19200 8N1 with 150 ms read time-outs;
  // 1: failure reported, with the path.
  int OpenPort(const char* path);
  // Interval, multiplier and constant all t ms. 1 (reported, port closed)
  // when no port is open or the platform refuses.
  int SetReadTimeouts(std::uint32_t t);
  std::size_t ReadPort(std::uint8_t* buffer, std::size_t capacity);
  bool WritePort(const std::uint8_t* data, std::size_t count, std::size_t& written);
  void ClosePort();

 private:
  void ReportCannotOpen(const char* path);

  SerialDevice& device_;
  MessageLog& log_;
};

}  // namespace zelt20
