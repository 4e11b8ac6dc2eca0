// config.ini on POSIX, read and written the way the Windows profile calls
// treat a profile file, so that the same file means the same on both.
//
// A line is a section header ("[name]"), a key ("name=value") or anything
// else (comments, blank lines), which is kept and otherwise ignored. Names
// and values lose their surrounding blanks; a value in matching quotes loses
// them too. The first section and the first key of a name count. A write
// changes only the one key line (or adds lines) and keeps every other byte.
#include "core/settings_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string_view>
#include <system_error>
#include <vector>

namespace zelt20 {
namespace {

constexpr std::string_view kBlanks = " \t\r\n";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  const auto lower = [](char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

std::string_view Unquote(std::string_view value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

// One line of the file as it is stored, with its line break (if any).
struct Line {
  std::string_view text;

  std::string_view Content() const { return Trim(text); }
  std::string_view Break() const {
    const std::size_t end = text.find_last_not_of("\r\n");
    return text.substr(end == std::string_view::npos ? 0 : end + 1);
  }
  bool IsSection() const { return Content().starts_with('['); }
  std::string_view SectionName() const {
    const std::string_view content = Content().substr(1);
    return Trim(content.substr(0, content.find(']')));
  }
  bool IsKey() const { return !IsSection() && Content().find('=') != std::string_view::npos; }
  std::string_view KeyName() const { return Trim(Content().substr(0, Content().find('='))); }
  std::string_view Value() const {
    return Unquote(Trim(Content().substr(Content().find('=') + 1)));
  }
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::size_t length = end == std::string_view::npos ? text.size() : end + 1;
    lines.push_back({text.substr(0, length)});
    text.remove_prefix(length);
  }
  return lines;
}

// Where a key sits: the section's header line, and the key's line when the
// section has it. Indexes into the lines.
struct KeyPlace {
  std::optional<std::size_t> section;
  std::optional<std::size_t> key;
  std::size_t section_end = 0;  // one past the section's last non-blank line
};

KeyPlace FindKey(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
  KeyPlace place;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (!lines[i].IsSection() || !SameName(lines[i].SectionName(), section)) continue;
    place.section = i;
    place.section_end = i + 1;
    for (std::size_t j = i + 1; j < lines.size() && !lines[j].IsSection(); ++j) {
      if (!lines[j].Content().empty()) place.section_end = j + 1;
      if (!place.key && lines[j].IsKey() && SameName(lines[j].KeyName(), key)) place.key = j;
    }
    break;
  }
  return place;
}

// A key line with a new value; the key's spelling, the blanks around the
// equals sign and the line break stay.
std::string WithValue(const Line& line, std::string_view value) {
  const std::string_view text = line.text;
  std::size_t value_start = text.find('=') + 1;
  while (value_start < text.size() && (text[value_start] == ' ' || text[value_start] == '\t')) {
    ++value_start;
  }
  return std::string(text.substr(0, value_start)) + std::string(value) + std::string(line.Break());
}

// The whole file; empty when it does not exist, none when it cannot be read.
std::optional<std::string> LoadFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT ? std::optional<std::string>("") : std::nullopt;
  std::string content;
  char chunk[4096];
  ssize_t n = 0;
  while ((n = ::read(fd, chunk, sizeof chunk)) != 0) {
    if (n > 0) {
      content.append(chunk, static_cast<std::size_t>(n));
    } else if (errno != EINTR) {
      ::close(fd);
      return std::nullopt;
    }
  }
  ::close(fd);
  return content;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// What became of an attempt to put a new file in the place of path.
enum class Replacement { kDone, kRefusedByFolder, kFailed };

// The folder, not the disk, stood in the way (errno of mkostemp or rename).
Replacement FailureOf(int error) {
  return error == EACCES || error == EPERM || error == EROFS ? Replacement::kRefusedByFolder
                                                              : Replacement::kFailed;
}

// Writes a temporary file beside path and renames it over path, so that the
// file is always either the old or the new text. A new file gets the usual
// rw-r--r--; a replaced one keeps its permissions.
Replacement ReplaceFile(const std::string& path, std::string_view content) {
  struct stat old_file {};
  const mode_t mode = ::stat(path.c_str(), &old_file) == 0 ? (old_file.st_mode & 07777) : 0644;
  std::string temporary = path + ".XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return FailureOf(errno);
  const bool written = ::fchmod(fd, mode) == 0 && WriteAll(fd, content) && ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  if (!written || !closed) {
    ::unlink(temporary.c_str());
    return Replacement::kFailed;
  }
  if (std::rename(temporary.c_str(), path.c_str()) == 0) return Replacement::kDone;
  const Replacement refusal = FailureOf(errno);
  ::unlink(temporary.c_str());
  return refusal;
}

// Writes the new text over the open file itself: not atomic, so only for a
// folder that takes no new file.
bool RewriteInPlace(int fd, std::string_view content) {
  return WriteAll(fd, content) && ::ftruncate(fd, static_cast<off_t>(content.size())) == 0 &&
         ::fsync(fd) == 0;
}

bool IsSymbolicLink(const std::string& path) {
  struct stat entry {};
  return ::lstat(path.c_str(), &entry) == 0 && S_ISLNK(entry.st_mode);
}

// Stores the file's new text as the profile calls do: a file this user may
// not write stays as it is; a writable one is updated, in place when its
// folder takes no new file; a missing one is created where the folder allows.
// A symbolic link stays one: a new file renamed over it would take its place,
// so the file it points to is written in place (and created when missing).
bool StoreFile(const std::string& path, std::string_view content) {
  if (IsSymbolicLink(path)) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    const bool stored = RewriteInPlace(fd, content);
    ::close(fd);
    return stored;
  }
  const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) return errno == ENOENT && ReplaceFile(path, content) == Replacement::kDone;
  const Replacement replacement = ReplaceFile(path, content);
  const bool stored = replacement == Replacement::kDone ||
                      (replacement == Replacement::kRefusedByFolder && RewriteInPlace(fd, content));
  ::close(fd);
  return stored;
}

// Text that would break the line structure cannot be written as a name or
// value: it would turn into other keys or sections.
bool FitsOneLine(std::string_view section, std::string_view key, std::string_view value) {
  const auto has_break = [](std::string_view text) {
    return text.find_first_of("\r\n") != text.npos;
  };
  return !has_break(section) && !has_break(key) && !has_break(value) &&
         section.find(']') == section.npos && key.find('=') == key.npos && !key.starts_with('[');
}

}  // namespace

std::string ReadSetting(const std::string& file, const std::string& section,
                        const std::string& key) {
  const std::optional<std::string> content = LoadFile(file);
  if (!content) return {};
  const std::vector<Line> lines = SplitLines(*content);
  const KeyPlace place = FindKey(lines, Trim(section), Trim(key));
  if (!place.key) return {};
  return std::string(lines[*place.key].Value().substr(0, kSettingValueLimit));
}

Checked<std::string> ReadWholeSetting(const std::string& file, const std::string& section,
                                      const std::string& key) {
  const std::optional<std::string> content = LoadFile(file);
  if (!content) return std::string();
  const std::vector<Line> lines = SplitLines(*content);
  const KeyPlace place = FindKey(lines, Trim(section), Trim(key));
  if (!place.key) return std::string();
  const std::string_view value = lines[*place.key].Value();
  if (value.size() > kSettingValueLimit) return TooLongSetting(section, key);
  return std::string(value);
}

bool WriteSetting(const std::string& file, const std::string& section, const std::string& key,
                  const std::string& value) {
  const std::string_view section_name = Trim(section);
  const std::string_view key_name = Trim(key);
  const std::string_view value_text = Trim(value);
  if (!FitsOneLine(section_name, key_name, value_text)) return false;
  const std::optional<std::string> old_content = LoadFile(file);
  if (!old_content) return false;

  const std::vector<Line> lines = SplitLines(*old_content);
  // New lines end the way the file's lines do.
  const std::string_view line_break =
      old_content->find("\r\n") != std::string::npos ? std::string_view("\r\n") : "\n";
  const KeyPlace place = FindKey(lines, section_name, key_name);
  const std::string key_line =
      std::string(key_name) + "=" + std::string(value_text) + std::string(line_break);

  std::string content;
  const auto end_line = [&] {
    if (!content.empty() && content.back() != '\n') content += line_break;
  };
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (place.key == i) {
      content += WithValue(lines[i], value_text);
    } else {
      content += lines[i].text;
    }
    if (place.section && !place.key && i + 1 == place.section_end) {
      end_line();
      content += key_line;
    }
  }
  if (!place.section) {
    end_line();
    content.append("[").append(section_name).append("]").append(line_break).append(key_line);
  }
  return StoreFile(file, content);
}

bool RemoveSetting(const std::string& file, const std::string& section, const std::string& key) {
  const std::optional<std::string> old_content = LoadFile(file);
  if (!old_content) return false;
  const std::vector<Line> lines = SplitLines(*old_content);
  const KeyPlace place = FindKey(lines, Trim(section), Trim(key));
  if (!place.key) return true;
  std::string content;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    if (i != *place.key) content += lines[i].text;
  }
  return StoreFile(file, content);
}

std::optional<std::string> UserSettingsPath(const char* xdg_config_home, const char* home) {
  std::filesystem::path folder;
  if (xdg_config_home != nullptr && std::filesystem::path(xdg_config_home).is_absolute()) {
    folder = xdg_config_home;
  } else if (home != nullptr && *home != '\0') {
    folder = std::filesystem::path(home) / ".config";
  } else {
    return std::nullopt;
  }
  return (folder / "zelt20" / "config.ini").string();
}

#if defined(ZELT20_SETTINGS_PER_USER)

// An installed program cannot write beside its executable: the settings
// are the user's own.
std::optional<std::string> SettingsPath() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const passwd* user = ::getpwuid(::getuid());
    home = user != nullptr ? user->pw_dir : nullptr;
  }
  const std::optional<std::string> path = UserSettingsPath(std::getenv("XDG_CONFIG_HOME"), home);
  if (path) {
    std::error_code ignored;
    std::filesystem::create_directories(std::filesystem::path(*path).parent_path(), ignored);
  }
  return path;
}

#else

std::optional<std::string> SettingsPath() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || !executable.has_parent_path()) return std::nullopt;
  return (executable.parent_path() / "config.ini").string();
}

#endif

}  // namespace zelt20
