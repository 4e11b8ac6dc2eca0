// Why the installer could not open its port, in one line for the operator:
// the system's reason and what to do about it. The log keeps its own lines;
// the console prints this on standard error, the window shows it as the
// port box's tooltip.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/serial_device.h"
#include "ports/port_info.h"

namespace zelt20 {

// Who may open a device node (POSIX).
struct DeviceAccess {
  std::string owner;              // the node's owner
  std::string group;              // the node's group
  unsigned mode = 0;              // the node's type and permission bits (st_mode)
  std::string user;               // who this process runs as
  bool process_in_group = false;  // this process has the node's group
  bool user_in_group = false;     // the group lists the user (it counts from the next login)
};

// What the reason needs to know about the machine besides the failure.
class MachineFacts {
 public:
  virtual ~MachineFacts() = default;
  virtual std::vector<PortInfo> PresentPorts() const = 0;
  virtual std::optional<DeviceAccess> Access(const std::string& device) const = 0;
  // The program that holds the device open: "minicom (process 1234)".
  virtual std::optional<std::string> Holder(const std::string& device) const = 0;
};

// This machine.
std::unique_ptr<MachineFacts> MakeSystemFacts();

// The reason, without the program's name in front.
std::string OpenFailureReason(const DeviceFailure& failure, const MachineFacts& facts,
                              const std::optional<std::string>& settings_file);

// The end of a reason for a device that is not there: which ports are.
std::string PortsPresentText(const MachineFacts& facts,
                             const std::optional<std::string>& settings_file);

// "crw-rw----" for a character device open to its owner and group.
std::string ModeText(unsigned mode);

}  // namespace zelt20
