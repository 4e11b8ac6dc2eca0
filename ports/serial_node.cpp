#include "ports/serial_node.h"

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <system_error>

namespace zelt20 {
namespace {

namespace fs = std::filesystem;

// Unix98 pseudo-terminal slaves have majors 136 to 143 and no sysfs entry.
constexpr unsigned kFirstPtyMajor = 136;
constexpr unsigned kLastPtyMajor = 143;

}  // namespace

NodeKind ClassifyNode(const std::string& path, const std::string& sysfs_root) {
  struct stat node {};
  if (::stat(path.c_str(), &node) != 0) return NodeKind::kMissing;
  if (!S_ISCHR(node.st_mode)) return NodeKind::kNotCharacterDevice;
  const unsigned major_number = major(node.st_rdev);
  if (major_number >= kFirstPtyMajor && major_number <= kLastPtyMajor) {
    return NodeKind::kPseudoTerminal;
  }
  const fs::path entry = fs::path(sysfs_root) / "dev" / "char" /
                         (std::to_string(major_number) + ":" + std::to_string(minor(node.st_rdev)));
  std::error_code error;
  // Terminals without hardware (virtual consoles, /dev/tty, /dev/console)
  // have no device behind their entry.
  if (fs::canonical(entry / "subsystem", error).filename() != "tty" ||
      !fs::exists(entry / "device", error)) {
    return NodeKind::kNotSerialPort;
  }
  // The kernel keeps a fixed number of 8250 port nodes whether or not a UART
  // answers at their addresses; those without one have type 0 (unknown).
  std::ifstream type(entry / "type");
  int uart_type = -1;
  if (type >> uart_type && uart_type == 0) return NodeKind::kNoUart;
  return NodeKind::kSerialPort;
}

bool CarriesALine(NodeKind kind) {
  return kind == NodeKind::kSerialPort || kind == NodeKind::kPseudoTerminal;
}

std::map<std::string, std::string> StableNames(const std::string& folder) {
  std::map<std::string, std::string> names;
  std::error_code error;
  for (const fs::directory_entry& link : fs::directory_iterator(folder, error)) {
    const fs::path device = fs::canonical(link.path(), error);
    if (!error) names.emplace(device.string(), link.path().string());
  }
  return names;
}

std::string CanonicalDevice(const std::string& path) {
  std::error_code error;
  const fs::path device = fs::canonical(path, error);
  return error ? path : device.string();
}

}  // namespace zelt20
