#include "cli/command_line.h"

#include <charconv>

#include "link/port_path.h"

namespace zelt20 {
namespace {

// N=DEVICE, N a COM number 1 to 255.
std::optional<MapComNumber> ParseMapping(std::string_view text) {
  const std::size_t equals = text.find('=');
  if (equals == std::string_view::npos || equals == 0) return std::nullopt;
  MapComNumber mapping;
  const char* const end = text.data() + equals;
  const auto parsed = std::from_chars(text.data(), end, mapping.number);
  if (parsed.ec != std::errc() || parsed.ptr != end || mapping.number == 0 ||
      mapping.number > kHighestComNumber) {
    return std::nullopt;
  }
  mapping.device = text.substr(equals + 1);
  return mapping;
}

ParsedCommandLine Problem(std::string text) { return {std::nullopt, std::move(text)}; }

}  // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string_view> args) {
  bool assume_yes = false;
  bool list_ports = false;
  std::optional<std::string_view> port_text;
  std::optional<MapComNumber> mapping;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "--help") return {ShowHelp{}, {}};
    if (arg == "--yes") {
      assume_yes = true;
    } else if (arg == "--list-ports") {
      list_ports = true;
    } else if (arg == "--map" || arg.starts_with("--map=")) {
      std::optional<std::string_view> value;
      if (arg != "--map") value = arg.substr(6);
      if (!value && i + 1 < args.size()) value = args[++i];
      if (!value) return Problem("--map needs N=DEVICE");
      if (mapping) return Problem("--map given twice");
      mapping = ParseMapping(*value);
      if (!mapping) {
        return Problem("--map " + std::string(*value) +
                       ": not N=DEVICE with N a COM number 1 to 255");
      }
    } else if (arg.starts_with('-') && arg != "-") {
      return Problem("unknown option " + std::string(arg));
    } else if (port_text) {
      return Problem("one PORT only, not " + std::string(*port_text) + " and " + std::string(arg));
    } else {
      port_text = arg;
    }
  }
  if (list_ports && mapping) return Problem("--list-ports and --map exclude each other");
  if ((list_ports || mapping) && port_text) {
    return Problem(std::string(list_ports ? "--list-ports" : "--map") + " takes no PORT");
  }
  if (list_ports) return {ListPorts{}, {}};
  if (mapping) return {*mapping, {}};
  if (!port_text) return Problem("missing PORT");
  return {InstallOnPort{std::string(*port_text), assume_yes}, {}};
}

}  // namespace zelt20
