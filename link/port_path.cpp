#include "link/port_path.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <cstdlib>

#include "core/settings_file.h"

namespace zelt20 {
namespace {

constexpr std::string_view kComPrefix = "\\\\.\\COM";

std::optional<std::uint32_t> ComNumber(std::string_view digits) {
  const bool all_digits = !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
  if (!all_digits) return std::nullopt;
  std::uint32_t number = 0;
  const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (parsed.ec != std::errc() || number == 0) return std::nullopt;
  return number;
}

}  // namespace

std::optional<std::string> ResolvePortPath(std::string_view port_path,
                                           const std::optional<std::string>& settings_file) {
  if (!port_path.starts_with(kComPrefix)) return std::string(port_path);
  const std::optional<std::uint32_t> number = ComNumber(port_path.substr(kComPrefix.size()));
  if (!number) return std::nullopt;
  const std::string suffix = std::to_string(*number);

  const char* from_environment = std::getenv(("ZELT20_COM" + suffix).c_str());
  if (from_environment != nullptr && *from_environment != '\0') return from_environment;
  if (settings_file) {
    std::string from_settings = ReadSetting(*settings_file, "devices", "com" + suffix);
    if (!from_settings.empty()) return from_settings;
  }
  return "/dev/ttyS" + std::to_string(*number - 1);
}

std::optional<std::string> ResolvePortPath(std::string_view port_path) {
  return ResolvePortPath(port_path, SettingsPath());
}

}  // namespace zelt20
