// The reasons on POSIX, by errno, and the facts of this machine.
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

#include "ports/open_failure.h"
#include "ports/serial_node.h"

namespace zelt20 {
namespace {

constexpr unsigned kGroupReadWrite = 0060;

std::string PermissionReason(const std::string& device, const std::optional<DeviceAccess>& access) {
  const std::string denied = "permission denied on " + device;
  if (!access) return denied;
  const std::string& group = access->group;
  const std::string& user = access->user;
  const std::string node =
      " (" + ModeText(access->mode) + " " + access->owner + ":" + access->group + ")";
  if ((access->mode & kGroupReadWrite) != kGroupReadWrite) {
    return denied + node + ": only " + access->owner +
           " may open it; ask the administrator to open it to a group you are in";
  }
  if (access->process_in_group) return denied + node;
  if (access->user_in_group) {
    return denied + ": user " + user + " was added to group " + group +
           " after this login; log out and in again (or start a shell with `newgrp " + group + "`)";
  }
  return denied + ": it is open to group " + group + ", and user " + user +
         " is not in it; join it with `sudo usermod -aG " + group + " " + user +
         "`, then log out and in again";
}

std::string NameOfUser(uid_t uid) {
  const passwd* entry = ::getpwuid(uid);
  return entry != nullptr ? entry->pw_name : std::to_string(uid);
}

bool ProcessHasGroup(gid_t gid) {
  if (::getegid() == gid) return true;
  const int count = ::getgroups(0, nullptr);
  if (count <= 0) return false;
  std::vector<gid_t> groups(static_cast<std::size_t>(count));
  const int got = ::getgroups(count, groups.data());
  return std::find(groups.begin(), groups.begin() + std::max(got, 0), gid) != groups.end();
}

class SystemFacts final : public MachineFacts {
 public:
  std::vector<PortInfo> PresentPorts() const override { return SystemPorts(); }

  std::optional<DeviceAccess> Access(const std::string& device) const override {
    struct stat node {};
    if (::stat(device.c_str(), &node) != 0) return std::nullopt;
    DeviceAccess access;
    access.owner = NameOfUser(node.st_uid);
    access.mode = node.st_mode;
    access.user = NameOfUser(::geteuid());
    access.process_in_group = ProcessHasGroup(node.st_gid);
    const group* entry = ::getgrgid(node.st_gid);
    if (entry == nullptr) {
      access.group = std::to_string(node.st_gid);
      return access;
    }
    access.group = entry->gr_name;
    for (char* const* member = entry->gr_mem; *member != nullptr; ++member) {
      access.user_in_group = access.user_in_group || access.user == *member;
    }
    const passwd* user = ::getpwuid(::geteuid());
    access.user_in_group = access.user_in_group || (user != nullptr && user->pw_gid == node.st_gid);
    return access;
  }

  // Only this user's processes can be looked into without privileges.
  std::optional<std::string> Holder(const std::string& device) const override {
    namespace fs = std::filesystem;
    const std::string target = CanonicalDevice(device);
    const std::string self = std::to_string(::getpid());
    std::error_code error;
    for (const fs::directory_entry& process : fs::directory_iterator("/proc", error)) {
      const std::string pid = process.path().filename().string();
      if (pid == self || pid.find_first_not_of("0123456789") != std::string::npos) continue;
      std::error_code unreadable;
      for (const fs::directory_entry& fd :
           fs::directory_iterator(process.path() / "fd", unreadable)) {
        std::error_code broken;
        if (fs::read_symlink(fd.path(), broken).string() != target) continue;
        std::string name;
        std::getline(std::ifstream(process.path() / "comm"), name);
        return name + " (process " + pid + ")";
      }
    }
    return std::nullopt;
  }
};

}  // namespace

std::unique_ptr<MachineFacts> MakeSystemFacts() { return std::make_unique<SystemFacts>(); }

std::string OpenFailureReason(const DeviceFailure& failure, const MachineFacts& facts,
                              const std::optional<std::string>& settings_file) {
  const std::string& device = failure.device;
  const int error = failure.error;
  if (error == ENOENT) return device + " does not exist" + PortsPresentText(facts, settings_file);
  if (error == ENODEV || error == ENXIO) {
    return "no device answers at " + device + PortsPresentText(facts, settings_file);
  }
  if (error == EACCES || error == EPERM) return PermissionReason(device, facts.Access(device));
  if (error == EBUSY || error == EWOULDBLOCK) {
    const std::optional<std::string> holder = facts.Holder(device);
    return "another program holds " + device + (holder ? ", " + *holder : "") +
           ": close it and try again";
  }
  if (error == ENOTTY) return device + " is not a serial port";
  return device + ": " + std::strerror(error);
}

}  // namespace zelt20
