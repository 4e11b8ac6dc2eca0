#include "cli/command_line.h"

#include "link/port_path.h"

namespace zelt20 {
namespace {

// N=DEVICE, N a COM number 1 to 255.
std::optional<MapComNumber> ParseMapping(std::string_view text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos) return std::nullopt;
  const std::optional<std::uint32_t> number = ComNumberOfText(text.substr(0, equals));
  if (!number) return std::nullopt;
  return MapComNumber{*number, std::string(text.substr(equals + 1))};
}

}  // namespace

Checked<ConsoleCommand> ParseCommandLine(std::span<const std::string_view> args) {
  bool assume_yes = false;
  bool list_ports = false;
  std::optional<std::string_view> port_text;
  std::optional<MapComNumber> mapping;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help") return ConsoleCommand{ShowHelp{}};
    if (arg == "--yes") {
      assume_yes = true;
    } else if (arg == "--list-ports") {
      list_ports = true;
    } else if (arg == "--map" || arg.starts_with("--map=")) {
      std::optional<std::string_view> value;
      if (arg != "--map") value = arg.substr(6);
      if (!value && i + 1 < args.size()) value = args[++i];
      if (!value) return Refusal{"--map needs N=DEVICE"};
      if (mapping) return Refusal{"--map given twice"};
      mapping = ParseMapping(*value);
      if (!mapping) {
        return Refusal{"--map " + std::string(*value) +
                       ": not N=DEVICE with N a COM number 1 to 255"};
      }
    } else if (arg.starts_with('-') && arg != "-") {
      return Refusal{"unknown option " + std::string(arg)};
    } else if (port_text) {
      return Refusal{"one PORT only, not " + std::string(*port_text) + " and " + std::string(arg)};
    } else {
      port_text = arg;
    }
  }
  if (list_ports && mapping) return Refusal{"--list-ports and --map exclude each other"};
  if ((list_ports || mapping) && port_text) {
    return Refusal{std::string(list_ports ? "--list-ports" : "--map") + " takes no PORT"};
  }
  if (list_ports) return ConsoleCommand{ListPorts{}};
  if (mapping) return ConsoleCommand{*mapping};
  if (!port_text) return Refusal{"missing PORT"};
  return ConsoleCommand{InstallOnPort{std::string(*port_text), assume_yes}};
}

}  // namespace zelt20
