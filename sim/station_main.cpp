// zelt20-station: the simulated station as a program, for demonstrations and
// for trying the installer without a station. See HelpText for the options.
#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "sim/station_options.h"

namespace {

using zelt20::sim::ExchangeTimes;
using zelt20::sim::LineEnd;
using zelt20::sim::SteadyTime;

constexpr int kExitFailed = 1;
constexpr int kExitUsage = 64;
constexpr int kExitNotFlashed = 3;

volatile std::sig_atomic_t g_end_requested = 0;

void OnEndSignal(int) { g_end_requested = 1; }

void InstallEndSignals() {
  struct sigaction action {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

const char* EndText(std::optional<LineEnd> end) {
  if (!end) return "ended by a signal";
  switch (*end) {
    case LineEnd::kStopped: return "ended by a signal";
    case LineEnd::kTimedOut: return "ended by --timeout";
    case LineEnd::kPromWritten: return "ended after the PROM write";
    case LineEnd::kLineFailed: return "the line failed";
  }
  return "ended";
}

// To standard output when no file is named.
bool WriteText(const std::string& file, const std::string& text) {
  if (file.empty()) {
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0;
  }
  std::ofstream out(file, std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
}

std::string SecondsText(SteadyTime at, SteadyTime started) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", std::chrono::duration<double>(at - started).count());
  return text;
}

// What --timings writes, as HelpText tells: one line per request, in the
// order they came.
std::string TimingsText(std::vector<ExchangeTimes> exchanges, SteadyTime started) {
  std::ranges::sort(exchanges, {}, &ExchangeTimes::request_first_byte);
  std::string text;
  for (const ExchangeTimes& exchange : exchanges) {
    text += SecondsText(exchange.request_first_byte, started) + " " +
            (exchange.reply_last_byte ? SecondsText(*exchange.reply_last_byte, started) : "-") + " " +
            zelt20::sim::KindName(exchange.kind) + (exchange.last_chunk ? " last\n" : "\n");
  }
  return text;
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> args(argv + 1, argv + argc);
  auto options = zelt20::sim::ParseProgramOptions(args);
  if (!options) {
    std::fprintf(stderr,
                 "zelt20-station: %s\n"
                 "Try 'zelt20-station --help' for more information.\n",
                 options.Reason().c_str());
    return kExitUsage;
  }
  if (options->help) {
    std::fputs(zelt20::sim::HelpText().c_str(), stdout);
    return 0;
  }
  const SteadyTime start_time = std::chrono::steady_clock::now();
  if (options->verbose) {
    options->simulator.line.activity_log = [start_time](const std::string& line) {
      const std::chrono::duration<double> since = std::chrono::steady_clock::now() - start_time;
      std::fprintf(stderr, "[%9.3f] %s\n", since.count(), line.c_str());
    };
  }
  // Filled on the station's thread until Stop.
  std::vector<ExchangeTimes> exchanges;
  if (!options->timings_file.empty()) {
    options->simulator.line.exchange_log = [&exchanges](const ExchangeTimes& exchange) {
      exchanges.push_back(exchange);
    };
  }
  const bool judge_flash = options->simulator.line.exit_after_prom;

  InstallEndSignals();
  zelt20::sim::StationSimulator station(std::move(options->simulator));
  if (const zelt20::Checked<> started = station.Start(); !started) {
    std::fprintf(stderr, "zelt20-station: %s\n", started.Reason().c_str());
    return kExitFailed;
  }
  std::printf("%s\n", station.LinePath().c_str());
  std::fflush(stdout);
  std::fprintf(stderr, "zelt20-station: the installer's port is %s\n", station.LinePath().c_str());

  while (g_end_requested == 0 && !station.WaitUntilEnded(std::chrono::milliseconds(100))) {
  }
  station.Stop();

  const auto end = station.End();
  const auto report = station.Report();
  std::string text = std::string("station ") + EndText(end) + "\n" + zelt20::sim::FormatReport(report);
  if (end == LineEnd::kLineFailed) text += "line failure: " + station.FailureText() + "\n";
  if (!WriteText(options->report_file, text)) {
    std::fprintf(stderr, "zelt20-station: cannot write the report to %s\n", options->report_file.c_str());
    return kExitFailed;
  }
  if (!options->timings_file.empty() &&
      !WriteText(options->timings_file, TimingsText(std::move(exchanges), start_time))) {
    std::fprintf(stderr, "zelt20-station: cannot write the timings to %s\n", options->timings_file.c_str());
    return kExitFailed;
  }
  if (end == LineEnd::kLineFailed) return kExitFailed;
  return judge_flash && !report.flash.Matches() ? kExitNotFlashed : 0;
}
