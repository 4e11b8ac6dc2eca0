// The serial ports present, through libserialport's enumeration (which
// reads the USB descriptors from sysfs). Only the listing comes from it: the
// port is opened and driven by the installer's own serial device.
#include <libserialport.h>

#include <algorithm>

#include "ports/port_info.h"
#include "ports/serial_node.h"

namespace zelt20 {
namespace {

std::string TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }

std::optional<UsbIdentity> UsbIdentityOf(const sp_port* port) {
  if (sp_get_port_transport(port) != SP_TRANSPORT_USB) return std::nullopt;
  UsbIdentity usb;
  int vendor = 0;
  int product = 0;
  if (sp_get_port_usb_vid_pid(port, &vendor, &product) == SP_OK) {
    usb.vendor_id = static_cast<std::uint16_t>(vendor);
    usb.product_id = static_cast<std::uint16_t>(product);
  }
  usb.manufacturer = TextOrEmpty(sp_get_port_usb_manufacturer(port));
  usb.product = TextOrEmpty(sp_get_port_usb_product(port));
  usb.serial_number = TextOrEmpty(sp_get_port_usb_serial(port));
  return usb;
}

}  // namespace

std::vector<PortInfo> SystemPorts() {
  sp_port** list = nullptr;
  if (sp_list_ports(&list) != SP_OK) return {};
  const std::map<std::string, std::string> stable_names = StableNames();
  std::vector<PortInfo> ports;
  for (sp_port** port = list; *port != nullptr; ++port) {
    PortInfo info;
    info.device = TextOrEmpty(sp_get_port_name(*port));
    // libserialport lists every 8250 node on newer kernels, UART or not.
    if (ClassifyNode(info.device) != NodeKind::kSerialPort) continue;
    if (const auto stable = stable_names.find(CanonicalDevice(info.device));
        stable != stable_names.end()) {
      info.stable_name = stable->second;
    }
    info.description = TextOrEmpty(sp_get_port_description(*port));
    info.usb = UsbIdentityOf(*port);
    ports.push_back(std::move(info));
  }
  sp_free_port_list(list);
  std::sort(ports.begin(), ports.end(),
            [](const PortInfo& a, const PortInfo& b) { return a.device < b.device; });
  return ports;
}

}  // namespace zelt20
