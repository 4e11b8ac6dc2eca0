#include "cli/command_line.h"

#include <algorithm>

#include "link/port_path.h"
#include "record/history.h"

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

// A count of 1 or more, in digits.
std::optional<int> CountOfText(std::string_view text) {
  constexpr int kMost = 1000000;
  int count = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    count = std::min(count * 10 + (c - '0'), kMost);
  }
  if (text.empty() || count == 0) return std::nullopt;
  return count;
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
  bool history = false;
  bool wide = false;
  bool no_records = false;
  bool sync = false;
  bool fleet = false;
  bool failed = false;
  std::optional<std::string> release;
  std::vector<std::string> port_texts;
  std::optional<MapComNumber> mapping;
  std::optional<std::string> records_folder;
  std::optional<int> last;
  std::optional<std::uint32_t> station;
  // The options that take no value.
  const std::pair<std::string_view, bool*> switches[] = {
      {"--yes", &assume_yes}, {"--list-ports", &list_ports}, {"--history", &history},
      {"--wide", &wide},      {"--no-records", &no_records}, {"--sync", &sync},
      {"--fleet", &fleet},    {"--failed", &failed}};
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    // An option's value: after "=" in the same argument, or the next one.
    const auto value_of = [&](std::string_view option) -> std::optional<std::string_view> {
      if (arg.size() > option.size()) return arg.substr(option.size() + 1);
      if (i + 1 < args.size()) return args[++i];
      return std::nullopt;
    };
    const auto is = [&](std::string_view option) {
      return arg == option || (arg.starts_with(option) && arg.size() > option.size() &&
                               arg[option.size()] == '=');
    };
    if (arg == "--help") return ConsoleCommand{ShowHelp{}};
    const auto named_switch = std::find_if(std::begin(switches), std::end(switches),
                                           [&](const auto& entry) { return entry.first == arg; });
    if (named_switch != std::end(switches)) {
      *named_switch->second = true;
    } else if (is("--release")) {
      const std::optional<std::string_view> value = value_of("--release");
      if (!value || value->empty()) return Refusal{"--release needs a release, as 2.3:56"};
      release = std::string(*value);
    } else if (is("--map")) {
      const std::optional<std::string_view> value = value_of("--map");
      if (!value) return Refusal{"--map needs N=DEVICE"};
      if (mapping) return Refusal{"--map given twice"};
      mapping = ParseMapping(*value);
      if (!mapping) {
        return Refusal{"--map " + std::string(*value) +
                       ": not N=DEVICE with N a COM number 1 to 255"};
      }
    } else if (is("--records")) {
      const std::optional<std::string_view> value = value_of("--records");
      if (!value || value->empty()) return Refusal{"--records needs DIR"};
      records_folder = std::string(*value);
    } else if (is("--last")) {
      const std::optional<std::string_view> value = value_of("--last");
      last = value ? CountOfText(*value) : std::nullopt;
      if (!last) return Refusal{"--last needs N, a count of 1 or more"};
    } else if (is("--station")) {
      const std::optional<std::string_view> value = value_of("--station");
      station = value ? StationSerialOfText(*value) : std::nullopt;
      if (!station) return Refusal{"--station needs SERIAL, the station's serial number in digits"};
    } else if (arg.starts_with('-') && arg != "-") {
      return Refusal{"unknown option " + std::string(arg)};
    } else {
      port_texts.emplace_back(arg);
    }
  }
  // Every command but an installation, for what only an installation takes.
  std::vector<const char*> commands;
  if (history) commands.push_back("--history");
  if (sync) commands.push_back("--sync");
  if (fleet) commands.push_back("--fleet");
  if (list_ports) commands.push_back("--list-ports");
  if (mapping) commands.push_back("--map");
  if (commands.size() > 1) return Refusal{std::string(commands[0]) + " and " + commands[1] + " exclude each other"};
  const char* other_command = commands.empty() ? nullptr : commands.front();
  if (records_folder && no_records) return Refusal{"--records and --no-records exclude each other"};
  if (last && !history) return Refusal{"--last goes with --history"};
  if (station && !history && !fleet) return Refusal{"--station goes with --history or --fleet"};
  if (wide && !history) return Refusal{"--wide goes with --history"};
  if ((release || failed) && !fleet) return Refusal{"--release and --failed go with --fleet"};
  if (int(release.has_value()) + int(station.has_value()) + int(failed) > 1) {
    return Refusal{"--release, --station and --failed exclude each other"};
  }
  if (other_command && !port_texts.empty()) return Refusal{std::string(other_command) + " takes no PORT"};
  if (other_command && no_records) {
    return Refusal{std::string(other_command) + " takes no --no-records"};
  }
  if ((list_ports || mapping || fleet) && records_folder) {
    return Refusal{std::string(other_command) + " takes no --records"};
  }
  if (list_ports) return ConsoleCommand{ListPorts{}};
  if (mapping) return ConsoleCommand{*mapping};
  if (history) return ConsoleCommand{ShowHistory{last.value_or(20), station, wide, records_folder}};
  if (sync) return ConsoleCommand{SyncRecords{records_folder}};
  if (fleet) return ConsoleCommand{AskFleetDatabase{release, station, failed}};
  if (port_texts.empty()) return Refusal{"missing PORT"};
  if (const Checked<> distinct = CheckDistinctPorts(port_texts); !distinct) {
    return Refusal{distinct.Reason()};
  }
  // Several runs keep their logs only in their log files.
  if (no_records && port_texts.size() > 1) return Refusal{"several PORTs take no --no-records"};
  return ConsoleCommand{
      InstallOnPorts{std::move(port_texts), assume_yes, std::move(records_folder), no_records}};
}

}  // namespace zelt20
