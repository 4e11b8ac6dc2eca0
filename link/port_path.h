// COM port names and the devices they stand for. The installer names its
// port the Windows way, "\\.\COM" followed by the port number's digits, and
// logs that path; this is the one place where it becomes a device.
//
// On Windows the path is the device and is opened as it is. On POSIX COM<n>
// stands for:
//   1. the environment variable ZELT20_COM<n>, when set and not empty;
//   2. key com<n> in section [devices] of the settings file, when not empty;
//   3. /dev/ttyS<n-1> (COM1 is the first serial port, ttyS0).
// n is the plain number: "\\.\COM007" looks up ZELT20_COM7 and com7.
// A path that does not start with "\\.\COM" names the device itself and is
// used as it is (for example /dev/ttyUSB0). A path that starts with it but
// has no port number after it (no digits, other characters, 0, or a number
// too large) names no device.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace zelt20 {

inline constexpr std::string_view kComPathPrefix = "\\\\.\\COM";

// The highest COM number the port box and the port text accept.
inline constexpr std::uint32_t kHighestComNumber = 255;

// Where the device that a COM number stands for was found.
enum class ComSource {
  kEnvironment,   // ZELT20_COM<n>
  kSettingsFile,  // com<n> in [devices]
  kDefault,       // the platform's own COM<n>
};

struct ComDevice {
  std::string device;
  ComSource source = ComSource::kDefault;
};

// The plain number of "\\.\COM<digits>"; none for any other path and when
// the digits make no port number.
std::optional<std::uint32_t> ComNumberOfPath(std::string_view port_path);

// The device that COM<number> stands for (number 1 or more), looking in the
// given settings file (none: no settings file).
ComDevice DeviceForCom(std::uint32_t number, const std::optional<std::string>& settings_file);

// The device to open for port_path; none when the path names no device.
std::optional<std::string> ResolvePortPath(std::string_view port_path,
                                           const std::optional<std::string>& settings_file);

// The same, with the program's settings file.
std::optional<std::string> ResolvePortPath(std::string_view port_path);

}  // namespace zelt20
