// The settings file config.ini beside the executable: an INI text file read
// and written with the behaviour of the Windows profile calls (section and
// key names compare without regard to case; writing keeps every other line
// and creates the file, section and key when missing).
#pragma once

#include <optional>
#include <string>

namespace zelt20 {

// At most this many characters of a value count (a 200-byte buffer).
inline constexpr std::size_t kSettingValueLimit = 199;

// The value text of key in section, cut to kSettingValueLimit characters;
// empty when the file, the section or the key is missing.
std::string ReadSetting(const std::string& file, const std::string& section,
                        const std::string& key);

// Replaces or adds the key; false when the file cannot be written. A file
// this user may not write is left as it is.
bool WriteSetting(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value);

// The executable's directory followed by "config.ini"; none when the
// executable's path cannot be found.
std::optional<std::string> SettingsPath();

}  // namespace zelt20
