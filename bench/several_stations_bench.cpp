// Several stations from one console installer: four simulated stations on
// 19200-baud lines installed at once by one zelt20-install, against one
// station alone, in the same run of this program. While each installation
// goes, the serial port's read time-outs are measured beside it. Prints the
// figures and the goals they are held against (the four within 3 % of the
// one's wall time, the installer's CPU under 1 % of wall time per station,
// time-outs no later than beside one). No assertions: the figures depend on
// the machine and its load.
#include <algorithm>
#include <chrono>
#include <string>
#include <cstdio>
#include <exception>
#include <optional>
#include <thread>
#include <vector>

#include "bench/installation_run.h"
#include "bench/read_lateness.h"

namespace zelt20::bench {
namespace {

constexpr int kStations = 4;
constexpr double kWallGoalPercent = 3.0;
constexpr double kCpuGoalPercent = 1.0;
// The lateness is measured once the runs are in their transfer.
constexpr std::chrono::seconds kLatenessAfter{60};
// Reply reads, as the installation's are.
constexpr LatenessCase kLatenessCases[] = {
    {ReadCase::kReplyThenSilence, 75, 60},
    {ReadCase::kReplyThenSilence, 150, 40},
};

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

struct Measured {
  InstallationRun run;
  std::optional<LatenessSummary> lateness;  // over all cases
};

std::optional<LatenessSummary> Lateness() {
  const auto results = MeasureReadLateness(kLatenessCases);
  if (!results) return std::nullopt;
  LatenessSummary overall;
  for (const LatenessResult& result : *results) {
    overall.reads += result.summary.reads;
    overall.median_ms = std::max(overall.median_ms, result.summary.median_ms);
    overall.worst_ms = std::max(overall.worst_ms, result.summary.worst_ms);
  }
  return overall;
}

Measured Install(int stations) {
  Measured measured;
  std::thread beside([&measured] {
    std::this_thread::sleep_for(kLatenessAfter);
    measured.lateness = Lateness();
  });
  try {
    measured.run = RunInstallation({ZELT20_INSTALL_PROGRAM, ZELT20_STATION_PROGRAM},
                                   {.stations = stations});
  } catch (...) {
    beside.join();
    throw;
  }
  beside.join();
  return measured;
}

bool AllInstalled(const Measured& measured) {
  bool installed = measured.run.installer.Succeeded();
  if (!installed) {
    std::printf("  !! the installer ended with %d; its standard output:\n%s\n",
                measured.run.installer.ExitCode(), measured.run.log.c_str());
  }
  for (std::size_t i = 0; i < measured.run.stations.size(); ++i) {
    if (measured.run.stations[i].Succeeded()) continue;
    std::printf("  !! station COM%zu does not hold the release\n%s\n", i + 1,
                measured.run.station_reports[i].c_str());
    installed = false;
  }
  return installed;
}

void PrintRun(const std::string& what, const Measured& measured) {
  const InstallationRun& run = measured.run;
  const double cpu_per_station =
      run.installer.CpuSeconds() / run.wall_seconds * 100.0 / static_cast<double>(run.stations.size());
  std::printf("%s\n", what.c_str());
  std::printf("  wall time                   %10.3f s\n", run.wall_seconds);
  std::printf("  installer CPU (user + sys)  %10.3f s = %.3f %% of wall per station"
              "  goal < %.0f %%: %s\n",
              run.installer.CpuSeconds(), cpu_per_station, kCpuGoalPercent,
              Verdict(cpu_per_station < kCpuGoalPercent));
  if (measured.lateness) {
    std::printf("  read time-outs beside it    median %.3f ms, worst %.3f ms (%zu reads)\n",
                measured.lateness->median_ms, measured.lateness->worst_ms, measured.lateness->reads);
  }
}

int RunBench() {
  std::printf("ZELT20 several stations benchmark: one station alone, then %d at once\n"
              "(each takes about 4.5 minutes)\n\n",
              kStations);
  std::fflush(stdout);
  Measured one, several;
  try {
    one = Install(1);
    PrintRun("One station:", one);
    std::fflush(stdout);
    several = Install(kStations);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "several_stations_bench: %s\n", failure.what());
    return 1;
  }
  PrintRun(std::to_string(kStations) + " stations at once:", several);
  const bool one_installed = AllInstalled(one);
  const bool valid = AllInstalled(several) && one_installed;

  const double longer = (several.run.wall_seconds / one.run.wall_seconds - 1.0) * 100.0;
  std::printf("\n%d at once against one: %+.3f %% wall time  goal within %.0f %%: %s\n", kStations,
              longer, kWallGoalPercent, Verdict(longer < kWallGoalPercent));
  if (one.lateness && several.lateness) {
    // Within what two measurements of one station differ by.
    const bool no_later = several.lateness->median_ms <= one.lateness->median_ms + 0.05 &&
                          several.lateness->worst_ms <= one.lateness->worst_ms + 0.5;
    std::printf("read time-outs: median %.3f against %.3f ms, worst %.3f against %.3f ms: %s\n",
                several.lateness->median_ms, one.lateness->median_ms, several.lateness->worst_ms,
                one.lateness->worst_ms, no_later ? "no later" : "LATER");
  }
  return valid ? 0 : 1;
}

}  // namespace
}  // namespace zelt20::bench

int main() { return zelt20::bench::RunBench(); }
