#include "ports/port_resolver.h"

#include <cstdlib>

#include "core/settings_file.h"

namespace zelt20 {

#if defined(_WIN32)

ComDevice DeviceForCom(std::uint32_t number, const std::optional<std::string>&) {
  return {std::string(kComPathPrefix) + std::to_string(number), ComSource::kDefault};
}

// "\\.\COM007" is opened as it is.
PortResolver SystemPortResolver(std::optional<std::string>) {
  return [](const ComPort& port) { return ComDevice{port.path, ComSource::kDefault}; };
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

PortResolver SystemPortResolver(std::optional<std::string> settings_file) {
  return [settings_file = std::move(settings_file)](const ComPort& port) {
    return DeviceForCom(port.number, settings_file);
  };
}

#endif

}  // namespace zelt20
