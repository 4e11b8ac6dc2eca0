#include <pwd.h>
#include <unistd.h>

#include <array>
#include <cstdlib>
#include <system_error>

#include "record/this_machine.h"

namespace zelt20 {
namespace {

const passwd* ThisUser() { return ::getpwuid(::getuid()); }

}  // namespace

std::string HostName() {
  std::array<char, 256> name{};
  if (::gethostname(name.data(), name.size() - 1) != 0) return {};
  return name.data();
}

std::string UserName() {
  const passwd* user = ThisUser();
  if (user != nullptr) return user->pw_name;
  const char* name = std::getenv("USER");
  return name != nullptr ? name : "";
}

std::optional<std::filesystem::path> UserRecordsFolder(const char* xdg_state_home, const char* home) {
  std::filesystem::path folder;
  if (xdg_state_home != nullptr && std::filesystem::path(xdg_state_home).is_absolute()) {
    folder = xdg_state_home;
  } else if (home != nullptr && *home != '\0') {
    folder = std::filesystem::path(home) / ".local" / "state";
  } else {
    return std::nullopt;
  }
  return folder / "zelt20" / "records";
}

#if defined(ZELT20_RECORDS_PER_USER)

std::optional<std::filesystem::path> DefaultRecordsFolder() {
  const char* home = std::getenv("HOME");
  if (home == nullptr || *home == '\0') {
    const passwd* user = ThisUser();
    home = user != nullptr ? user->pw_dir : nullptr;
  }
  return UserRecordsFolder(std::getenv("XDG_STATE_HOME"), home);
}

#else

std::optional<std::filesystem::path> DefaultRecordsFolder() {
  std::error_code error;
  const std::filesystem::path executable = std::filesystem::read_symlink("/proc/self/exe", error);
  if (error || !executable.has_parent_path()) return std::nullopt;
  return executable.parent_path() / "records";
}

#endif

}  // namespace zelt20
