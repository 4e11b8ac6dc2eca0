// zelt20-station: the simulated station as a program, for demonstrations and
// for trying the installer without a station. See HelpText for the options.
#include <csignal>
#include <cstdio>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "sim/station_options.h"

namespace {

using zelt20::sim::LineEnd;

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

bool WriteReport(const std::string& file, const std::string& text) {
  if (file.empty()) {
    std::fputs(text.c_str(), stdout);
    return std::fflush(stdout) == 0;
  }
  std::ofstream out(file, std::ios::trunc);
  out << text;
  out.close();
  return static_cast<bool>(out);
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
  if (options->verbose) {
    const auto started = std::chrono::steady_clock::now();
    options->simulator.line.activity_log = [started](const std::string& line) {
      const std::chrono::duration<double> since = std::chrono::steady_clock::now() - started;
      std::fprintf(stderr, "[%9.3f] %s\n", since.count(), line.c_str());
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
  if (!WriteReport(options->report_file, text)) {
    std::fprintf(stderr, "zelt20-station: cannot write the report to %s\n", options->report_file.c_str());
    return kExitFailed;
  }
  if (end == LineEnd::kLineFailed) return kExitFailed;
  return judge_flash && !report.flash.Matches() ? kExitNotFlashed : 0;
}
