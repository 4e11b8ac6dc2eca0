// Which device a COM number stands for on this machine.
//
// On POSIX COM<n> stands for:
//   1. the environment variable ZELT20_COM<n>, when set and not empty;
//   2. key com<n> in section [devices] of the settings file, when not empty;
//   3. /dev/ttyS<n-1> (COM1 is the first serial port, ttyS0).
// n is the plain number: port text "007" looks up ZELT20_COM7 and com7.
// On Windows the system names its COM ports: COM<n> is "\\.\COM<n>", and a
// run opens its port by the path it logs, as the operator gave it.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "link/port_path.h"

namespace zelt20 {

// The device that COM<number> stands for (number 1 or more), looking in the
// given settings file (none: no settings file).
ComDevice DeviceForCom(std::uint32_t number, const std::optional<std::string>& settings_file);

// The resolver a front end hands its runs, with the settings file it found
// once at start-up.
PortResolver SystemPortResolver(std::optional<std::string> settings_file);

}  // namespace zelt20
