// A sysfs of the test's own: the entries of chosen character devices made
// to look like serial ports, consoles or other devices.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>

#include "tests/support/temp_dir.h"

namespace zelt20::test {

class FakeSysfs {
 public:
  struct Entry {
    bool tty = true;     // in the tty class
    bool device = true;  // with hardware behind it
    std::optional<int> uart_type =
        std::nullopt;  // the serial driver's port type; none: no such file
  };

  // Makes the entry of the node's device number.
  void Add(const std::string& node, const Entry& entry) const {
    namespace fs = std::filesystem;
    struct stat info {};
    if (::stat(node.c_str(), &info) != 0) throw std::runtime_error("no node " + node);
    const fs::path path =
        dir_.Path() / "dev" / "char" /
        (std::to_string(major(info.st_rdev)) + ":" + std::to_string(minor(info.st_rdev)));
    const fs::path subsystem = dir_.Path() / "class" / (entry.tty ? "tty" : "mem");
    fs::create_directories(path);
    fs::create_directories(subsystem);
    fs::create_directory_symlink(subsystem, path / "subsystem");
    if (entry.device) fs::create_directory(path / "device");
    if (entry.uart_type)
      TempDir::Write((path / "type").string(), std::to_string(*entry.uart_type) + "\n");
  }

  std::string Root() const { return dir_.Path().string(); }

 private:
  TempDir dir_;
};

}  // namespace zelt20::test
