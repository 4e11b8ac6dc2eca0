// The serial ports present on this machine, as the system lists them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace zelt20 {

// What a USB serial adapter says about itself.
struct UsbIdentity {
  std::uint16_t vendor_id = 0;
  std::uint16_t product_id = 0;
  std::string manufacturer;
  std::string product;
  std::string serial_number;
};

struct PortInfo {
  std::string device;       // /dev/ttyUSB0; on Windows COM3
  std::string stable_name;  // /dev/serial/by-id/..., empty when there is none
  std::string description;  // the system's words for it, may be empty
  std::optional<UsbIdentity> usb;
};

// Every serial port present, in the system's order: on Linux through
// libserialport, leaving out serial port nodes without a UART behind them;
// on Windows the system's COM ports.
std::vector<PortInfo> SystemPorts();

}  // namespace zelt20
