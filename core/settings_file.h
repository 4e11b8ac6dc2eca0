// The settings file config.ini: an INI text file read and written with the
// behaviour of the Windows profile calls (section and key names compare
// without regard to case; writing keeps every other line and creates the
// file, section and key when missing). It lives beside the executable, or,
// in a build made for installing (ZELT20_SETTINGS_PER_USER), in the user's
// configuration folder.
#pragma once

#include <optional>
#include <string>

#include "core/checked.h"

namespace zelt20 {

// At most this many characters of a value count (a 200-byte buffer).
inline constexpr std::size_t kSettingValueLimit = 199;

// The value text of key in section, cut to kSettingValueLimit characters;
// empty when the file, the section or the key is missing.
std::string ReadSetting(const std::string& file, const std::string& section,
                        const std::string& key);

// Why a value is not taken whole.
inline Refusal TooLongSetting(const std::string& section, const std::string& key) {
  return {"the value of " + key + " in section [" + section + "] of config.ini is longer than " +
          std::to_string(kSettingValueLimit) + " characters"};
}

// The whole value text of key in section, as ReadSetting gives it but
// refused where ReadSetting would cut it; empty when missing.
Checked<std::string> ReadWholeSetting(const std::string& file, const std::string& section,
                                      const std::string& key);

// Replaces or adds the key; false when the file cannot be written. A file
// this user may not write is left as it is.
bool WriteSetting(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value);

// Removes the key and its line, keeping everything else; true when the key
// is gone (also when it was never there).
bool RemoveSetting(const std::string& file, const std::string& section, const std::string& key);

// The executable's directory followed by "config.ini", or in a build made
// for installing the user's one (see UserSettingsPath; its folder is made
// when missing). None when that place cannot be found.
std::optional<std::string> SettingsPath();

#if !defined(_WIN32)
// $XDG_CONFIG_HOME/zelt20/config.ini, or ~/.config/zelt20/config.ini when
// that variable is unset, empty or not an absolute path (the variables'
// values are given; null for unset). None without either.
std::optional<std::string> UserSettingsPath(const char* xdg_config_home, const char* home);
#endif

}  // namespace zelt20
