// config.ini on Windows, through the profile calls.
#include "core/settings_file.h"

#include <windows.h>

#include <cstdlib>

namespace zelt20 {
namespace {

// The path buffers of the settings path: a full file name or settings path
// that does not fit is not used.
constexpr DWORD kPathBufferSize = 256;

}  // namespace

std::string ReadSetting(const std::string& file, const std::string& section,
                        const std::string& key) {
  char value[kSettingValueLimit + 1] = {};
  GetPrivateProfileStringA(section.c_str(), key.c_str(), nullptr, value, sizeof value,
                           file.c_str());
  return value;
}

Checked<std::string> ReadWholeSetting(const std::string& file, const std::string& section,
                                      const std::string& key) {
  // One character more than a value may have tells a value that was cut.
  char value[kSettingValueLimit + 2] = {};
  const DWORD length = GetPrivateProfileStringA(section.c_str(), key.c_str(), nullptr, value,
                                                sizeof value, file.c_str());
  if (length > kSettingValueLimit) return TooLongSetting(section, key);
  return std::string(value, length);
}

bool WriteSetting(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(), file.c_str()) !=
         FALSE;
}

// A null value deletes the key.
bool RemoveSetting(const std::string& file, const std::string& section, const std::string& key) {
  return WritePrivateProfileStringA(section.c_str(), key.c_str(), nullptr, file.c_str()) != FALSE;
}

std::optional<std::string> SettingsPath() {
  char module[kPathBufferSize] = {};
  const DWORD length = GetModuleFileNameA(nullptr, module, kPathBufferSize);
  // A full name that fills the buffer has been cut short.
  if (length == 0 || length >= kPathBufferSize) return std::nullopt;
  char drive[_MAX_DRIVE] = {};
  char directory[_MAX_DIR] = {};
  if (_splitpath_s(module, drive, sizeof drive, directory, sizeof directory, nullptr, 0, nullptr,
                   0) != 0) {
    return std::nullopt;
  }
  std::string path = std::string(drive) + directory + "config.ini";
  if (path.size() >= kPathBufferSize) return std::nullopt;
  return path;
}

}  // namespace zelt20
