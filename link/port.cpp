#include "link/port.h"

#include "core/cp1251.h"

namespace zelt20 {

// The log names the port by its path.
LinkResult StationPort::OpenPort(const char* path, const std::string& device) {
  if (!device_.Open(device)) {
    ReportCannotOpen(path);
    return LinkResult::kFailed;
  }
  if (!device_.ApplyLineSettings()) {
    ReportCannotOpen(path);
    ClosePort();
    return LinkResult::kFailed;
  }
  return SetReadTimeouts(kOpenTimeoutMs);
}

LinkResult StationPort::SetReadTimeouts(std::uint32_t t) {
  if (device_.IsOpen() && device_.SetTimeouts({t, t, t})) return LinkResult::kDone;
  log_.ReportError(ErrorHeading::kNewLine, "невозможно открыть порт!"_cp1251);
  ClosePort();
  return LinkResult::kFailed;
}

std::size_t StationPort::ReadPort(std::uint8_t* buffer, std::size_t capacity) {
  return device_.IsOpen() ? device_.Read(buffer, capacity) : 0;
}

WriteOutcome StationPort::WritePort(const std::uint8_t* data, std::size_t count) {
  return device_.IsOpen() ? device_.Write(data, count) : WriteOutcome{};
}

// Closing a port that is already closed does nothing; the device is asked
// only to close what it holds open.
void StationPort::ClosePort() {
  if (device_.IsOpen()) device_.Close();
}

void StationPort::ReportCannotOpen(const char* path) {
  log_.ReportErrorf(ErrorHeading::kNewLine, "%s %s\r\n", "невозможно открыть порт!"_cp1251, path);
}

}  // namespace zelt20
