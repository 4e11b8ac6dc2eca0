// COM ports by number. The installer names its port the Windows way,
// "\\.\COM" followed by the port text's digits, and logs that path; which
// device the port stands for is not the link's to find: the front end hands
// the run a PortResolver (ports/port_resolver.h has this machine's).
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace zelt20 {

inline constexpr std::string_view kComPathPrefix = "\\\\.\\COM";

// The highest COM number the port box and the port text accept.
inline constexpr std::uint32_t kHighestComNumber = 255;

// The number a port text names: digits only (leading zeros allowed), 1 to
// kHighestComNumber; none for any other text.
constexpr std::optional<std::uint32_t> ComNumberOfText(std::string_view port_text) {
  std::uint32_t number = 0;  // held at kHighestComNumber + 1 once beyond it
  for (const char c : port_text) {
    if (c < '0' || c > '9') return std::nullopt;
    number = std::min(number * 10 + static_cast<std::uint32_t>(c - '0'), kHighestComNumber + 1);
  }
  if (number == 0 || number > kHighestComNumber) return std::nullopt;
  return number;
}

// The port of a run: its plain number, and the path the log names it by,
// kComPathPrefix + the port text as the operator gave it ("\\.\COM007").
struct ComPort {
  std::uint32_t number = 0;
  std::string path;
};

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

// Which device a port stands for.
using PortResolver = std::function<ComDevice(const ComPort& port)>;

}  // namespace zelt20
