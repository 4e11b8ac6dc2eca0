// Port paths on POSIX. The installer names its port the Windows way,
// "\\.\COM" followed by the port number's digits; here that number is
// mapped to a device:
//   1. the environment variable ZELT20_COM<n>, when set and not empty;
//   2. key com<n> in section [devices] of the settings file, when not empty;
//   3. /dev/ttyS<n-1> (COM1 is the first serial port, ttyS0).
// n is the plain number: "\\.\COM007" looks up ZELT20_COM7 and com7.
// A path that does not start with "\\.\COM" names the device itself and is
// used as it is (for example /dev/ttyUSB0). A path that starts with it but
// has no port number after it (no digits, other characters, 0, or a number
// too large) names no device.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace zelt20 {

// The device path for port_path, looking in the given settings file (none:
// no settings file); none when the path names no device.
std::optional<std::string> ResolvePortPath(std::string_view port_path,
                                           const std::optional<std::string>& settings_file);

// The same, with config.ini beside the executable.
std::optional<std::string> ResolvePortPath(std::string_view port_path);

}  // namespace zelt20
