// zelt20-install --list-ports: the serial ports present and the COM numbers
// that stand for them under the current mapping (port_resolver.h), which is
// the mapping the installer opens its port by.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "ports/port_resolver.h"
#include "ports/port_info.h"

namespace zelt20 {

struct ComLink {
  std::uint32_t number = 0;
  ComDevice mapping;
};

// What COM1 to COM255 stand for now.
std::vector<ComLink> CurrentComMapping(const std::optional<std::string>& settings_file);

// The COM numbers of the mapping that stand for the port, lowest first.
std::vector<ComLink> ComLinksOf(const PortInfo& port, const std::vector<ComLink>& mapping);

// Where the mapping comes from: "ZELT20_COM5", "com5 in [devices] of FILE",
// or empty for the default.
std::string ComSourceText(const ComLink& link, const std::optional<std::string>& settings_file);

// "COM5 (ZELT20_COM5)", "COM1, COM3 (com3 in [devices] of FILE)", or
// "no COM number".
std::string ComLinksText(const std::vector<ComLink>& links,
                         const std::optional<std::string>& settings_file);

// The port that a device path names: the port's device or stable name,
// another link to the same node, or on Windows "\\.\COM3" for COM3.
std::optional<PortInfo> PortNamedBy(const std::string& device, const std::vector<PortInfo>& ports);

// Every port with its stable name, USB identity and COM numbers; then the
// COM numbers that the environment or the settings file map to devices not
// among the ports. Says so plainly when there are no ports.
std::string FormatPortListing(const std::vector<PortInfo>& ports,
                              const std::optional<std::string>& settings_file);

}  // namespace zelt20
