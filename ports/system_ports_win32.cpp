// The COM ports present on Windows: the ports class of the device manager
// (SetupAPI) with the system's descriptions and USB ids, then any other COM
// name the system knows (QueryDosDevice: virtual ports, Wine's mappings).
#include <windows.h>
// SetupAPI's header needs the Windows types first.
#include <setupapi.h>

#include <algorithm>
#include <charconv>
#include <string_view>
#include <vector>

#include "ports/port_info.h"

namespace zelt20 {
namespace {

// The device setup class "Ports (COM & LPT)".
constexpr GUID kPortsClass = {
    0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

bool IsComName(std::string_view name) {
  return name.size() > 3 && name.starts_with("COM") &&
         name.find_first_not_of("0123456789", 3) == std::string_view::npos;
}

unsigned ComNumberOf(const std::string& name) {
  unsigned number = 0;
  std::from_chars(name.data() + 3, name.data() + name.size(), number);
  return number;
}

std::string DeviceProperty(HDEVINFO set, SP_DEVINFO_DATA& device, DWORD property) {
  char text[512] = {};
  if (!SetupDiGetDeviceRegistryPropertyA(set, &device, property, nullptr,
                                         reinterpret_cast<BYTE*>(text), sizeof text - 1, nullptr)) {
    return {};
  }
  return text;
}

std::string PortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
  const HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  char name[64] = {};
  DWORD size = sizeof name - 1;
  DWORD type = 0;
  const bool read = RegQueryValueExA(key, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(name),
                                     &size) == ERROR_SUCCESS &&
                    type == REG_SZ;
  RegCloseKey(key);
  return read ? name : "";
}

// "USB\VID_0403&PID_6001&REV_0600" and the like.
std::optional<UsbIdentity> UsbIdentityOf(std::string_view hardware_id) {
  const auto hex_after = [&](std::string_view tag) -> std::optional<std::uint16_t> {
    const std::size_t at = hardware_id.find(tag);
    if (at == std::string_view::npos) return std::nullopt;
    std::uint16_t value = 0;
    const char* first = hardware_id.data() + at + tag.size();
    const auto parsed = std::from_chars(first, hardware_id.data() + hardware_id.size(), value, 16);
    if (parsed.ec != std::errc() || parsed.ptr != first + 4) return std::nullopt;
    return value;
  };
  const auto vendor = hex_after("VID_");
  const auto product = hex_after("PID_");
  if (!vendor || !product) return std::nullopt;
  UsbIdentity usb;
  usb.vendor_id = *vendor;
  usb.product_id = *product;
  return usb;
}

void AddDeviceManagerPorts(std::vector<PortInfo>& ports) {
  const HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    PortInfo info;
    info.device = PortName(set, device);
    if (!IsComName(info.device)) continue;  // printer ports share the class
    info.description = DeviceProperty(set, device, SPDRP_FRIENDLYNAME);
    info.usb = UsbIdentityOf(DeviceProperty(set, device, SPDRP_HARDWAREID));
    if (info.usb) info.usb->manufacturer = DeviceProperty(set, device, SPDRP_MFG);
    ports.push_back(std::move(info));
  }
  SetupDiDestroyDeviceInfoList(set);
}

void AddOtherComNames(std::vector<PortInfo>& ports) {
  std::vector<char> names(1 << 16);
  const DWORD length = QueryDosDeviceA(nullptr, names.data(), static_cast<DWORD>(names.size()));
  for (DWORD at = 0; at < length && names[at] != '\0';) {
    const std::string name(names.data() + at);
    at += static_cast<DWORD>(name.size()) + 1;
    const bool known = std::any_of(ports.begin(), ports.end(),
                                   [&](const PortInfo& port) { return port.device == name; });
    if (!IsComName(name) || known) continue;
    char target[512] = {};
    QueryDosDeviceA(name.c_str(), target, sizeof target - 1);
    ports.push_back({name, "", target, std::nullopt});
  }
}

}  // namespace

std::vector<PortInfo> SystemPorts() {
  std::vector<PortInfo> ports;
  AddDeviceManagerPorts(ports);
  AddOtherComNames(ports);
  std::sort(ports.begin(), ports.end(), [](const PortInfo& a, const PortInfo& b) {
    return ComNumberOf(a.device) < ComNumberOf(b.device);
  });
  return ports;
}

}  // namespace zelt20
