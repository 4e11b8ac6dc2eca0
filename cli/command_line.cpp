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

// The port texts that name a port, with their ports.
std::vector<std::pair<std::string, ComPort>> NamedPorts(const std::vector<std::string>& port_texts) {
  std::vector<std::pair<std::string, ComPort>> ports;
  for (const std::string& text : port_texts) {
    if (const std::optional<std::uint32_t> number = ComNumberOfText(text)) {
      ports.push_back({text, ComPort{*number, std::string(kComPathPrefix) + text}});
    }
  }
  return ports;
}

// The same port given twice, whether written alike ("3 3") or not ("3 003").
Checked<> CheckDistinctPorts(const std::vector<std::string>& port_texts) {
  const auto ports = NamedPorts(port_texts);
  for (std::size_t i = 0; i < ports.size(); ++i) {
    for (std::size_t j = i + 1; j < ports.size(); ++j) {
      if (ports[i].second.number != ports[j].second.number) continue;
      const std::string com = "COM" + std::to_string(ports[i].second.number);
      if (ports[i].first == ports[j].first) return Refusal{"PORT " + ports[i].first + " given twice"};
      return Refusal{ports[i].first + " and " + ports[j].first + " are both " + com};
    }
  }
  return Accepted{};
}

}  // namespace

Checked<> CheckDistinctDevices(const std::vector<std::string>& port_texts,
                               const DeviceOfPort& device_of) {
  const auto ports = NamedPorts(port_texts);
  std::vector<std::string> devices;
  for (const auto& [text, port] : ports) devices.push_back(device_of(port));
  for (std::size_t i = 0; i < ports.size(); ++i) {
    for (std::size_t j = i + 1; j < ports.size(); ++j) {
      if (devices[i] == devices[j]) {
        return Refusal{ports[i].first + " and " + ports[j].first + " are both " + devices[i]};
      }
    }
  }
  return Accepted{};
}

Checked<ConsoleCommand> ParseCommandLine(std::span<const std::string_view> args) {
  bool assume_yes = false;
  bool list_ports = false;
  std::vector<std::string> port_texts;
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
    } else {
      port_texts.emplace_back(arg);
    }
  }
  if (list_ports && mapping) return Refusal{"--list-ports and --map exclude each other"};
  if ((list_ports || mapping) && !port_texts.empty()) {
    return Refusal{std::string(list_ports ? "--list-ports" : "--map") + " takes no PORT"};
  }
  if (list_ports) return ConsoleCommand{ListPorts{}};
  if (mapping) return ConsoleCommand{*mapping};
  if (port_texts.empty()) return Refusal{"missing PORT"};
  if (const Checked<> distinct = CheckDistinctPorts(port_texts); !distinct) {
    return Refusal{distinct.Reason()};
  }
  return ConsoleCommand{InstallOnPorts{std::move(port_texts), assume_yes}};
}

}  // namespace zelt20
