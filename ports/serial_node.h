// What a device node is, as far as serial ports go, told from the node and
// sysfs without opening it (opening a serial port raises its modem lines).
// POSIX only.
#pragma once

#include <map>
#include <string>

namespace zelt20 {

enum class NodeKind {
  kMissing,
  kNotCharacterDevice,
  kNotSerialPort,  // a character device that is no serial line: a console, /dev/null
  kNoUart,         // a serial port node with no UART behind it
  kSerialPort,
  kPseudoTerminal,  // the line of a simulated station or a test
};

// sysfs_root: where sysfs is mounted (a test gives a folder of its own).
NodeKind ClassifyNode(const std::string& path, const std::string& sysfs_root = "/sys");

// Whether a port with this kind of node can carry the station's line.
bool CarriesALine(NodeKind kind);

// The stable names in the folder, by the canonical path of the device each
// stands for. Empty when the folder is missing.
std::map<std::string, std::string> StableNames(const std::string& folder = "/dev/serial/by-id");

// The path with every symbolic link resolved, or the path as it is when it
// does not lead anywhere.
std::string CanonicalDevice(const std::string& path);

}  // namespace zelt20
