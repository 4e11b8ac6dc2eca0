#include "ports/com_mapping.h"

#include <filesystem>
#include <system_error>

#include "core/settings_file.h"
#include "ports/port_resolver.h"
#include "ports/serial_node.h"

namespace zelt20 {
namespace {

constexpr char kSection[] = "devices";

// Why a node cannot carry the station's line; empty when it can.
std::string RefusalOf(const std::string& device, NodeKind kind) {
  switch (kind) {
    case NodeKind::kMissing: return device + " does not exist";
    case NodeKind::kNotCharacterDevice: return device + " is not a device, so not a serial port";
    case NodeKind::kNotSerialPort: return device + " is not a serial port";
    case NodeKind::kNoUart: return device + " is a serial port node with no UART behind it";
    case NodeKind::kSerialPort:
    case NodeKind::kPseudoTerminal: return "";
  }
  return "";
}

std::string AbsolutePath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path absolute = std::filesystem::absolute(path, error);
  return error ? path : absolute.lexically_normal().string();
}

// What the COM number stands for once the file has changed, and what
// still goes before the file.
std::string NowText(std::uint32_t number, const std::string& settings_file) {
  const std::string com = "COM" + std::to_string(number);
  const ComDevice now = DeviceForCom(number, settings_file);
  std::string text = com + " is " + now.device;
  if (now.source == ComSource::kEnvironment) {
    text += " while ZELT20_" + com + " is set, which goes before " + settings_file;
  }
  return text;
}

}  // namespace

Checked<std::string> StoreComMapping(const ComMappingRequest& request, const std::string& settings_file,
                                 const std::string& sysfs_root) {
  const std::string key = "com" + std::to_string(request.number);
  if (request.device.empty()) {
    if (!RemoveSetting(settings_file, kSection, key)) {
      return Refusal{"cannot write " + settings_file};
    }
    return NowText(request.number, settings_file) + " (" + key + " removed from " +
                      settings_file + ")";
  }
  const std::string device = AbsolutePath(request.device);
  const std::string refusal = RefusalOf(device, ClassifyNode(device, sysfs_root));
  if (!refusal.empty()) return Refusal{refusal};
  if (!WriteSetting(settings_file, kSection, key, device)) {
    return Refusal{"cannot write " + settings_file};
  }
  std::string message =
      NowText(request.number, settings_file) + " (stored in " + settings_file + ")";
  const std::string canonical = CanonicalDevice(device);
  for (const auto& [linked_device, stable_name] : StableNames()) {
    if (linked_device == canonical && stable_name != device) {
      message += "; its stable name " + stable_name + " survives re-plugging";
    }
  }
  return message;
}

}  // namespace zelt20
