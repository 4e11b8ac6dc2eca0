// The port box's tooltip: the device that the box's number stands for, or,
// after a run could not open the port, why it could not.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "link/serial_device.h"

namespace zelt20 {

// "COM7 is /dev/ttyUSB0 (ZELT20_COM7)"; empty for a text that is no port
// number (UTF-8 in and out).
std::string PortBoxTooltip(std::string_view port_text,
                           const std::optional<std::string>& settings_file);

// The reason, with this machine's facts.
std::string PortFailureTooltip(const DeviceFailure& failure,
                               const std::optional<std::string>& settings_file);

}  // namespace zelt20
