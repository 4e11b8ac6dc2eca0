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
};
struct ListPorts {};
struct MapComNumber {
  std::uint32_t number = 0;
  std::string device;  // empty: remove the mapping
};

using ConsoleCommand = std::variant<ShowHelp, InstallOnPort, ListPorts, MapComNumber>;

// The arguments after the program's name: the command, or the one problem
// that makes the line wrong ("missing PORT").
Checked<ConsoleCommand> ParseCommandLine(std::span<const std::string_view> args);

}  // namespace zelt20
