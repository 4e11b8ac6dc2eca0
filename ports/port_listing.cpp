#include "ports/port_listing.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <system_error>

namespace zelt20 {
namespace {

std::string ComName(std::uint32_t number) { return "COM" + std::to_string(number); }

// How the device names itself in a mapping: the path, a link to it (the
// stable name), or on Windows the system's "\\.\COM3" for COM3.
bool StandsFor(const std::string& mapped, const PortInfo& port) {
  if (mapped == port.device || mapped == "\\\\.\\" + port.device) return true;
  if (!port.stable_name.empty() && mapped == port.stable_name) return true;
  std::error_code error;
  const std::filesystem::path mapped_device = std::filesystem::weakly_canonical(mapped, error);
  if (error) return false;
  const std::filesystem::path port_device = std::filesystem::weakly_canonical(port.device, error);
  return !error && mapped_device == port_device;
}

std::string UsbText(const UsbIdentity& usb) {
  char ids[16];
  std::snprintf(ids, sizeof ids, "%04x:%04x", usb.vendor_id, usb.product_id);
  std::string text = std::string("USB ") + ids;
  for (const auto& [label, value] :
       {std::pair<const char*, const std::string&>{"maker", usb.manufacturer},
        {"product", usb.product},
        {"serial number", usb.serial_number}}) {
    if (!value.empty()) text += std::string(", ") + label + " " + value;
  }
  return text;
}

// The mappings that name a device on purpose (not the default), with none
// of the ports behind them.
std::vector<ComLink> OtherMappings(const std::vector<PortInfo>& ports,
                                   const std::vector<ComLink>& mapping) {
  std::vector<ComLink> others;
  std::copy_if(mapping.begin(), mapping.end(), std::back_inserter(others),
               [&](const ComLink& link) {
                 return link.mapping.source != ComSource::kDefault &&
                        std::none_of(ports.begin(), ports.end(), [&](const PortInfo& port) {
                          return StandsFor(link.mapping.device, port);
                        });
               });
  return others;
}

}  // namespace

std::optional<PortInfo> PortNamedBy(const std::string& device, const std::vector<PortInfo>& ports) {
  const auto named = std::find_if(ports.begin(), ports.end(),
                                  [&](const PortInfo& port) { return StandsFor(device, port); });
  if (named == ports.end()) return std::nullopt;
  return *named;
}

std::string ComSourceText(const ComLink& link, const std::optional<std::string>& settings_file) {
  switch (link.mapping.source) {
    case ComSource::kEnvironment: return "ZELT20_" + ComName(link.number);
    case ComSource::kSettingsFile:
      return "com" + std::to_string(link.number) + " in [devices] of " + settings_file.value_or("");
    case ComSource::kDefault: return "";
  }
  return "";
}

std::vector<ComLink> CurrentComMapping(const std::optional<std::string>& settings_file) {
  std::vector<ComLink> mapping;
  for (std::uint32_t number = 1; number <= kHighestComNumber; ++number) {
    mapping.push_back({number, DeviceForCom(number, settings_file)});
  }
  return mapping;
}

std::vector<ComLink> ComLinksOf(const PortInfo& port, const std::vector<ComLink>& mapping) {
  std::vector<ComLink> links;
  std::copy_if(mapping.begin(), mapping.end(), std::back_inserter(links),
               [&](const ComLink& link) { return StandsFor(link.mapping.device, port); });
  return links;
}

std::string ComLinksText(const std::vector<ComLink>& links,
                         const std::optional<std::string>& settings_file) {
  if (links.empty()) return "no COM number";
  std::string text;
  for (const ComLink& link : links) {
    if (!text.empty()) text += ", ";
    text += ComName(link.number);
    const std::string source = ComSourceText(link, settings_file);
    if (!source.empty()) text += " (" + source + ")";
  }
  return text;
}

std::string FormatPortListing(const std::vector<PortInfo>& ports,
                              const std::optional<std::string>& settings_file) {
  std::string text = ports.empty() ? "No serial ports found.\n" : "Serial ports:\n";
  const std::vector<ComLink> mapping = CurrentComMapping(settings_file);
  bool unmapped = false;
  for (const PortInfo& port : ports) {
    const std::vector<ComLink> links = ComLinksOf(port, mapping);
    unmapped = unmapped || links.empty();
    text += port.device + "  " + ComLinksText(links, settings_file) + "\n";
    if (!port.stable_name.empty()) text += "    stable name: " + port.stable_name + "\n";
    if (port.usb) text += "    " + UsbText(*port.usb) + "\n";
    const std::string base_name = std::filesystem::path(port.device).filename().string();
    if (!port.description.empty() && port.description != base_name &&
        (!port.usb || port.description != port.usb->product)) {
      text += "    " + port.description + "\n";
    }
  }
  const std::vector<ComLink> others = OtherMappings(ports, mapping);
  if (!others.empty()) text += "COM numbers mapped to other devices:\n";
  for (const ComLink& link : others) {
    std::error_code error;
    const bool present = std::filesystem::exists(link.mapping.device, error);
    text += ComName(link.number) + "  " + link.mapping.device + " (" +
            ComSourceText(link, settings_file) + ")" + (present ? "" : ", not present") + "\n";
  }
  if (unmapped) {
    text += "A port without a COM number gets one with: zelt20-install --map N=DEVICE\n";
  }
  return text;
}

}  // namespace zelt20
