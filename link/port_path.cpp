#include "link/port_path.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>

#include "core/settings_file.h"

namespace zelt20 {

std::optional<std::uint32_t> ComNumberOfPath(std::string_view port_path) {
  if (!port_path.starts_with(kComPathPrefix)) return std::nullopt;
  const std::string_view digits = port_path.substr(kComPathPrefix.size());
  const bool all_digits = !digits.empty() && std::all_of(digits.begin(), digits.end(), [](char c) {
    return c >= '0' && c <= '9';
  });
  if (!all_digits) return std::nullopt;
  std::uint32_t number = 0;
  const auto parsed = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  if (parsed.ec != std::errc() || number == 0) return std::nullopt;
  return number;
}

#if defined(_WIN32)

ComDevice DeviceForCom(std::uint32_t number, const std::optional<std::string>&) {
  return {std::string(kComPathPrefix) + std::to_string(number), ComSource::kDefault};
}

// The system names its COM ports itself; "\\.\COM007" is opened as it is.
std::optional<std::string> ResolvePortPath(std::string_view port_path,
                                           const std::optional<std::string>&) {
  return std::string(port_path);
}

#else

ComDevice DeviceForCom(std::uint32_t number, const std::optional<std::string>& settings_file) {
  const std::string suffix = std::to_string(number);
  const char* from_environment = std::getenv(("ZELT20_COM" + suffix).c_str());
  if (from_environment != nullptr && *from_environment != '\0') {
    return {from_environment, ComSource::kEnvironment};
  }
  if (settings_file) {
    std::string from_settings = ReadSetting(*settings_file, "devices", "com" + suffix);
    if (!from_settings.empty()) return {std::move(from_settings), ComSource::kSettingsFile};
  }
  return {"/dev/ttyS" + std::to_string(number - 1), ComSource::kDefault};
}

std::optional<std::string> ResolvePortPath(std::string_view port_path,
                                           const std::optional<std::string>& settings_file) {
  if (!port_path.starts_with(kComPathPrefix)) return std::string(port_path);
  const std::optional<std::uint32_t> number = ComNumberOfPath(port_path);
  if (!number) return std::nullopt;
  return DeviceForCom(*number, settings_file).device;
}

#endif

std::optional<std::string> ResolvePortPath(std::string_view port_path) {
  return ResolvePortPath(port_path, SettingsPath());
}

}  // namespace zelt20
