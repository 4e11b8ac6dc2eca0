// The command line of zelt20-install: what it asks for, or the one problem
// that makes it wrong.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "core/checked.h"
#include "link/port_path.h"

namespace zelt20 {

struct ShowHelp {};
// One run per port text, all at once when there are several.
struct InstallOnPorts {
  std::vector<std::string> port_texts;
  bool assume_yes = false;
  std::optional<std::string> records_folder;  // --records DIR; none: the default folder
  bool no_records = false;                    // --no-records
};
struct ShowHistory {
  int last = 20;                          // --last N
  std::optional<std::uint32_t> station;   // --station SERIAL
  bool wide = false;                      // --wide
  std::optional<std::string> records_folder;
};
// --sync: the records folder's pending runs to the fleet database, now.
struct SyncRecords {
  std::optional<std::string> records_folder;
};
// --fleet: what the fleet database knows; every station's latest state
// without a narrower question.
struct AskFleetDatabase {
  std::optional<std::string> not_on_release;  // --release X
  std::optional<std::uint32_t> station;       // --station SERIAL
  bool failed = false;                        // --failed
};
struct ListPorts {};
struct MapComNumber {
  std::uint32_t number = 0;
  std::string device;  // empty: remove the mapping
};

using ConsoleCommand = std::variant<ShowHelp, InstallOnPorts, ListPorts, MapComNumber, ShowHistory,
                                    SyncRecords, AskFleetDatabase>;

// The arguments after the program's name: the command, or the one problem
// that makes the line wrong ("missing PORT", the same port twice). A port
// text that names no port is not the command line's problem but its run's.
Checked<ConsoleCommand> ParseCommandLine(std::span<const std::string_view> args);

// The device a port stands for, as one name for one device whatever the
// links to it.
using DeviceOfPort = std::function<std::string(const ComPort& port)>;

// Refuses ports that stand for one device ("3 and 5 are both
// /dev/ttyUSB0"): two runs would fight over one line.
Checked<> CheckDistinctDevices(const std::vector<std::string>& port_texts,
                               const DeviceOfPort& device_of);

}  // namespace zelt20
