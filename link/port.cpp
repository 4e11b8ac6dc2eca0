#include "link/port.h"

#include <optional>
#include <string>

#include "core/cp1251.h"
#include "link/port_path.h"

namespace zelt20 {

// The log names the port by its path; the device opened is the one the
// path stands for.
int StationPort::OpenPort(const char* path) {
  const std::optional<std::string> device = ResolvePortPath(path);
  if (!device || !device_.Open(*device)) {
    ReportCannotOpen(path);
    return 1;
  }
  if (!device_.ApplyLineSettings()) {
    ReportCannotOpen(path);
    ClosePort();
    return 1;
  }
  return SetReadTimeouts(kOpenTimeoutMs);
}

int StationPort::SetReadTimeouts(std::uint32_t t) {
  if (device_.IsOpen() && device_.SetTimeouts({t, t, t})) return 0;
  log_.ReportError(ErrorHeading::kNewLine, "невозможно открыть порт!"_cp1251);
  ClosePort();
  return 1;
}

std::size_t StationPort::ReadPort(std::uint8_t* buffer, std::size_t capacity) {
  return device_.IsOpen() ? device_.Read(buffer, capacity) : 0;
}

bool StationPort::WritePort(const std::uint8_t* data, std::size_t count, std::size_t& written) {
  written = 0;
  return device_.IsOpen() && device_.Write(data, count, written);
}

void StationPort::ClosePort() { device_.Close(); }

void StationPort::ReportCannotOpen(const char* path) {
  log_.ReportErrorf(ErrorHeading::kNewLine, "%s %s\r\n", "невозможно открыть порт!"_cp1251, path);
}

}  // namespace zelt20
