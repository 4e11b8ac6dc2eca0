#include "sim/station_options.h"

#include <cstdio>
#include <functional>
#include <limits>
#include <map>

#include "install/firmware_image.h"
#include "link/packet.h"
#include "sim/number_text.h"

namespace zelt20::sim {
namespace {

// The installer drains the line after a reboot with one read of a frame.
constexpr std::size_t kMaxBootNoise = kFrameSize;

// Decimal, or hexadecimal after 0x.
std::optional<std::uint32_t> ParseNumber(std::string_view text, int base = 10) {
  if (text.starts_with("0x") || text.starts_with("0X")) {
    text.remove_prefix(2);
    base = 16;
  }
  return ParseUnsigned(text, base);
}

std::optional<std::vector<std::uint8_t>> ParseHexBytes(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::vector<std::uint8_t> bytes;
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const auto byte = ParseUnsigned(text.substr(i, 2), 16);
    if (!byte) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(*byte));
  }
  return bytes;
}

// MAJOR.MINOR:BUILD
std::optional<FirmwareVersion> ParseVersion(std::string_view text) {
  const auto dot = text.find('.');
  const auto colon = text.find(':');
  if (dot == std::string_view::npos || colon == std::string_view::npos || colon < dot) return std::nullopt;
  const auto major = ParseNumber(text.substr(0, dot));
  const auto minor = ParseNumber(text.substr(dot + 1, colon - dot - 1));
  const auto build = ParseNumber(text.substr(colon + 1));
  if (!major || !minor || !build || *major > 0xFF || *minor > 0xFF || *build > 0xFFFF) {
    return std::nullopt;
  }
  return FirmwareVersion{static_cast<std::uint8_t>(*minor), static_cast<std::uint8_t>(*major),
                         static_cast<std::uint16_t>(*build)};
}

// YYYY-MM-DDTHH:MM:SS packed as the station does, or a date stamp as it is.
std::optional<std::uint32_t> ParseWriteDate(std::string_view text) {
  if (text.find('-') == std::string_view::npos) return ParseNumber(text);
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':') {
    return std::nullopt;
  }
  std::uint32_t fields[6];
  const std::size_t starts[6] = {0, 5, 8, 11, 14, 17};
  const std::size_t widths[6] = {4, 2, 2, 2, 2, 2};
  for (int i = 0; i < 6; ++i) {
    const auto value = ParseNumber(text.substr(starts[i], widths[i]));
    if (!value) return std::nullopt;
    fields[i] = *value;
  }
  const auto field = [&](int i) { return static_cast<std::uint16_t>(fields[i]); };
  return PackDateStamp({field(0), field(1), 0, field(2), field(3), field(4), field(5), 0});
}

class Parser {
 public:
  explicit Parser(ProgramOptions& options) : options_(options) {}

  Checked<> Parse(std::span<const std::string_view> args) {
    for (std::size_t i = 0; i < args.size(); ++i) {
      std::string_view name = args[i];
      std::optional<std::string_view> value;
      if (const auto equals = name.find('='); equals != std::string_view::npos) {
        value = name.substr(equals + 1);
        name = name.substr(0, equals);
      }
      if (const auto flag = Flags().find(name); flag != Flags().end()) {
        if (value) return Refusal{std::string(name) + " takes no value"};
        flag->second(*this);
        continue;
      }
      const auto option = ValuedOptions().find(name);
      if (option == ValuedOptions().end()) {
        if (!name.starts_with('-')) return Refusal{"unexpected argument " + std::string(args[i])};
        return Refusal{"unknown option " + std::string(name)};
      }
      if (!value) {
        if (++i == args.size()) return Refusal{std::string(name) + " needs a value"};
        value = args[i];
      }
      if (const Checked<> taken = option->second(*this, *value); !taken) {
        if (!taken.Reason().empty()) return taken;
        return Refusal{"bad value '" + std::string(*value) + "' for " + std::string(name)};
      }
    }
    return Check();
  }

 private:
  using FlagAction = std::function<void(Parser&)>;
  // A refusal without a reason is a bad value, and is told so with the
  // option's name.
  using ValueAction = std::function<Checked<>(Parser&, std::string_view)>;

  // Most values are simply good or bad.
  static ValueAction Plain(std::function<bool(Parser&, std::string_view)> take) {
    return [take = std::move(take)](Parser& p, std::string_view text) -> Checked<> {
      if (take(p, text)) return Accepted{};
      return Refusal{};
    };
  }

  StationInfo& Info() { return options_.simulator.station.info; }

  // Sets a station field of type T from a number that must fit it.
  template <typename T>
  static ValueAction Number(T StationInfo::*field) {
    return Plain([field](Parser& p, std::string_view text) {
      const auto value = ParseNumber(text);
      if (!value || *value > std::numeric_limits<T>::max()) return false;
      p.Info().*field = static_cast<T>(*value);
      return true;
    });
  }

  static const std::map<std::string_view, FlagAction>& Flags() {
    static const std::map<std::string_view, FlagAction> flags = {
        {"--help", [](Parser& p) { p.options_.help = true; }},
        {"--no-code", [](Parser& p) { p.no_code_ = true; }},
        {"--reboot", [](Parser& p) { p.reboot_ = true; }},
        {"--wire-time", [](Parser& p) { p.options_.simulator.line.wire_time = true; }},
        {"--exit-after-prom", [](Parser& p) { p.options_.simulator.line.exit_after_prom = true; }},
        {"--verbose", [](Parser& p) { p.options_.verbose = true; }},
    };
    return flags;
  }

  static const std::map<std::string_view, ValueAction>& ValuedOptions() {
    static const std::map<std::string_view, ValueAction> options = {
        {"--version",
         Plain([](Parser& p, std::string_view text) {
           const auto version = ParseVersion(text);
           if (version) p.version_ = *version;
           return version.has_value();
         })},
        {"--write-date",
         Plain([](Parser& p, std::string_view text) {
           const auto stamp = ParseWriteDate(text);
           if (stamp) p.Info().write_date = *stamp;
           return stamp.has_value();
         })},
        {"--serial", Number(&StationInfo::processor_serial)},
        {"--bios", Number(&StationInfo::bios)},
        {"--monitor", Number(&StationInfo::monitor)},
        {"--ram", Number(&StationInfo::ram_kb)},
        {"--min-code", Number(&StationInfo::minimum_code_version)},
        {"--hw1", Number(&StationInfo::hardware_version_1)},
        {"--hw2", Number(&StationInfo::hardware_version_2)},
        {"--reserved1", Number(&StationInfo::reserved_1)},
        {"--reserved2", Number(&StationInfo::reserved_2)},
        {"--record-bytes",
         Plain([](Parser& p, std::string_view text) {
           const auto bytes = ParseHexBytes(text);
           if (!bytes || bytes->size() != sizeof p.Info().uninterpreted) return false;
           std::copy(bytes->begin(), bytes->end(), p.Info().uninterpreted);
           return true;
         })},
        {"--fullpack-version",
         Plain([](Parser& p, std::string_view text) {
           const auto version = ParseNumber(text, 16);
           if (!version || *version > 0xFFFF) return false;
           p.options_.simulator.station.fullpack_version = static_cast<std::uint16_t>(*version);
           return true;
         })},
        {"--reboot-time",
         Plain([](Parser& p, std::string_view text) {
           const auto ms = ParseNumber(text);
           if (ms) p.options_.simulator.station.reboot_time = std::chrono::milliseconds(*ms);
           return ms.has_value();
         })},
        {"--boot-noise",
         Plain([](Parser& p, std::string_view text) {
           const auto bytes = text == "none" ? std::vector<std::uint8_t>{} : ParseHexBytes(text);
           if (!bytes || bytes->size() > kMaxBootNoise) return false;
           p.options_.simulator.station.boot_noise = *bytes;
           return true;
         })},
        {"--fault",
         [](Parser& p, std::string_view text) -> Checked<> {
           const Checked<Fault> fault = ParseFault(text);
           if (!fault) return Refusal{"--fault " + std::string(text) + ": " + fault.Reason()};
           p.options_.simulator.faults.push_back(*fault);
           return Accepted{};
         }},
        {"--stop-after",
         Plain([](Parser& p, std::string_view text) {
           const auto n = ParseNumber(text);
           if (!n || *n == 0 || *n > 0x7FFFFFFF) return false;
           p.options_.simulator.station.stop_after = static_cast<int>(*n);
           return true;
         })},
        {"--device",
         Plain([](Parser& p, std::string_view text) {
           p.options_.simulator.device = text;
           return !text.empty();
         })},
        {"--timeout",
         Plain([](Parser& p, std::string_view text) {
           const auto seconds = ParseNumber(text);
           if (!seconds || *seconds == 0) return false;
           p.options_.simulator.line.timeout = std::chrono::seconds(*seconds);
           return true;
         })},
        {"--report",
         Plain([](Parser& p, std::string_view text) {
           p.options_.report_file = text;
           return !text.empty();
         })},
        {"--timings",
         Plain([](Parser& p, std::string_view text) {
           p.options_.timings_file = text;
           return !text.empty();
         })},
    };
    return options;
  }

  Checked<> Check() {
    if (no_code_ && version_) return Refusal{"--no-code and --version exclude each other"};
    if (no_code_) {
      Info().version = {0xFF, 0xFF, 0xFFFF};
    } else if (version_) {
      Info().version = *version_;
    }
    if (reboot_) Info().reserved_1 |= 1u;
    return Accepted{};
  }

  ProgramOptions& options_;
  bool no_code_ = false;
  bool reboot_ = false;
  std::optional<FirmwareVersion> version_;
};

std::string HexText(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

}  // namespace

Checked<ProgramOptions> ParseProgramOptions(std::span<const std::string_view> args) {
  ProgramOptions options;
  if (const Checked<> parsed = Parser(options).Parse(args); !parsed) return Refusal{parsed.Reason()};
  return options;
}

std::string HelpText() {
  // The release built into the installer, and what the simulated station
  // reports by default: an older version and another fullpack.
  const std::string release = VersionText(InstallerRelease());
  const StationSetup station;
  std::string text =
      "Usage: zelt20-station [options]\n"
      "\n"
      "A simulated ZELT20 station for the installer. It opens a new pseudo-terminal\n"
      "(or --device) and answers the installer's requests on it as a station does,\n"
      "until it is ended with Ctrl-C or SIGTERM, --timeout or --exit-after-prom.\n"
      "\n"
      "Standard output: the first line is the device the installer is to open as its\n"
      "port, alone on the line (e.g. /dev/pts/7; with --device, the device served);\n"
      "for the installer set ZELT20_COM<n> to it. At the end follow how the station\n"
      "ended and the report (unless --report): the requests per kind, the blocks,\n"
      "and whether the flashed code is release " + release + ".\n"
      "\n"
      "Station identity (numbers N: decimal, or hexadecimal with 0x):\n"
      "  --version M.m:B        firmware version reported (default " +
      VersionText(station.info.version) + ")\n"
      "  --no-code              the station holds no working code (version FFFFFFFF)\n"
      "                         and starts in upgrader mode\n"
      "  --write-date D         when its code was written: YYYY-MM-DDTHH:MM:SS, or a\n"
      "                         raw date stamp N (default 2017-04-21T10:05:03)\n"
      "  --serial N             processor serial number (default 42)\n"
      "  --bios N               BIOS number (default 5)\n"
      "  --monitor N            monitor number (default 0x103)\n"
      "  --ram N                RAM size in KB (default 512)\n"
      "  --min-code N           minimum code version (default 0x201)\n"
      "  --hw1 N, --hw2 N       hardware versions 1 and 2 (default 0x10002 and 3)\n"
      "  --record-bytes HEX     the 6 uninterpreted record bytes, 12 hex digits\n"
      "                         (default 000000000000)\n"
      "  --reserved1 N          reserved field 1, bit 0 the reboot flag (default 0)\n"
      "  --reserved2 N          reserved field 2 (default 0)\n"
      "  --reboot               set the reboot flag\n"
      "  --fullpack-version HEX fullpack version word (default " +
      HexText(station.fullpack_version) + "; the release has " +
      HexText(FirmwareImage().FullpackVersionWord()) + ",\n"
      "                         so by default the installer sends the fullpack)\n"
      "\n"
      "Station behaviour:\n"
      "  --reboot-time MS       with the reboot flag, the station is deaf this long\n"
      "                         after the enter upgrader mode request (default 3000;\n"
      "                         the installer waits 8000)\n"
      "  --boot-noise HEX|none  bytes it sends once rebooted, at most 264 (default\n"
      "                         000D0A55504752414445520D0A, NUL CR LF UPGRADER CR LF);\n"
      "                         with none the installer's drain read waits 53 s\n"
      "  --fault KIND[=VALUE]:WHERE\n"
      "                         a fault on chosen requests; may be repeated\n";
  text += FaultSyntaxHelp();
  text +=
      "  --stop-after N         answer nothing from the (N+1)-th request on\n"
      "\n"
      "Line:\n"
      "  --device PATH          serve this serial device instead of a pseudo-terminal\n"
      "  --wire-time            take the time of a 19200-baud line: requests count as\n"
      "                         received after their wire time, answers are paced at\n"
      "                         0.52 ms a byte\n"
      "  --exit-after-prom      end once a write PROM request has been answered and\n"
      "                         the installer has closed the line (at most 5 s later)\n"
      "  --timeout SECONDS      end after this long\n"
      "  --report FILE          write the report to FILE instead of standard output\n"
      "  --timings FILE         at the end, write to FILE one line per request, in the\n"
      "                         order they came: when its first byte came, when its\n"
      "                         reply's last byte went out (- for no reply), both in\n"
      "                         seconds on a monotonic clock since the station started,\n"
      "                         and its kind as the report names it, followed by 'last'\n"
      "                         for a chunk that completes its block, e.g.\n"
      "                         '12.345678 12.351002 segment last'\n"
      "  --verbose              log every request and answer on standard error\n"
      "  --help                 show this text\n"
      "\n"
      "Exit status: 0 done; 1 the line could not be opened or failed; 3 with\n"
      "--exit-after-prom, the station did not end up with release " + release +
      " correctly\nflashed; 64 wrong command line.\n";
  return text;
}

}  // namespace zelt20::sim
