// The command line of zelt20-install: what it asks for, or the one problem
// that makes it wrong.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <variant>

#include "core/checked.h"

namespace zelt20 {

struct ShowHelp {};
struct InstallOnPort {
  std::string port_text;
  bool assume_yes = false;
  std::optional<std::string> records_folder;  // --records DIR; none: the default folder
  bool no_records = false;                    // --no-records
};
struct ShowHistory {
  int last = 20;                          // --last N
  std::optional<std::uint32_t> station;   // --station SERIAL
  std::optional<std::string> records_folder;
};
struct ListPorts {};
struct MapComNumber {
  std::uint32_t number = 0;
  std::string device;  // empty: remove the mapping
};

using ConsoleCommand = std::variant<ShowHelp, InstallOnPort, ListPorts, MapComNumber, ShowHistory>;

// The arguments after the program's name: the command, or the one problem
// that makes the line wrong ("missing PORT").
Checked<ConsoleCommand> ParseCommandLine(std::span<const std::string_view> args);

}  // namespace zelt20
