#include "ports/open_failure.h"

#include "ports/port_listing.h"

namespace zelt20 {
namespace {

// How one present port is named in a reason: on POSIX with the COM numbers
// that stand for it, on Windows with the system's description.
std::string PresentPortText(const PortInfo& port, const std::vector<ComLink>& mapping,
                            const std::optional<std::string>& settings_file) {
#if defined(_WIN32)
  (void)mapping;
  (void)settings_file;
  if (port.description.empty()) return port.device;
  if (port.description.find(port.device) != std::string::npos) return port.description;
  return port.device + " (" + port.description + ")";
#else
  return port.device + " (" + ComLinksText(ComLinksOf(port, mapping), settings_file) + ")";
#endif
}

}  // namespace

std::string PortsPresentText(const MachineFacts& facts,
                             const std::optional<std::string>& settings_file) {
  const std::vector<PortInfo> ports = facts.PresentPorts();
  if (ports.empty()) return ", and no serial port is present (is the adapter plugged in?)";
  const std::vector<ComLink> mapping = CurrentComMapping(settings_file);
  std::string text = "; serial ports present: ";
  for (const PortInfo& port : ports) {
    if (&port != &ports.front()) text += ", ";
    text += PresentPortText(port, mapping, settings_file);
  }
  return text;
}

std::string ModeText(unsigned mode) {
  constexpr unsigned kTypeBits = 0170000;
  const unsigned type = mode & kTypeBits;
  std::string text(1, type == 0020000 ? 'c' : type == 0040000 ? 'd' : type == 0100000 ? '-' : '?');
  const char letters[] = "rwx";
  for (int bit = 8; bit >= 0; --bit) text += (mode >> bit) & 1u ? letters[(8 - bit) % 3] : '-';
  return text;
}

}  // namespace zelt20
