// Whether keeping records costs the station anything on the line: whole
// installations with the console installer against zelt20-station, with
// records (a fresh folder given by --records) and with --no-records,
// alternated in one run of this program, so that both meet the machine in
// the same state. The station's --timings show, for each reply that the
// installer answers at once with its next request, how long after the
// reply's last byte that request's first byte came; less the read's
// interval time-out t, that is the installer's lateness (see
// bench/exchange_lateness.h for which gaps count and where t comes from).
//
// The station answers at once, without --wire-time: the gap runs from the
// reply's last byte to the next request on either kind of line, and the
// installer does the same work in it, while pacing a run like 19200 baud
// doubles it (4.5 min against 2.3). So more runs, and gaps, fit in the time.
//
// Usage: records_lateness_bench [PAIRS]: PAIRS runs with records and as
// many without (default 3, about 14 minutes). Prints each run's exit
// statuses and wall time, and for each side the number of gaps and their
// median, 99th percentile and worst lateness, over all gaps and over those
// after a block's last chunk (where the installer logs the block). The
// station's times are taken by a process on the same machine, so its own
// scheduling is in them, on both sides alike. No assertions: the figures
// depend on the machine and its load.
#include <charconv>
#include <cstdio>
#include <exception>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

#include "bench/exchange_lateness.h"
#include "bench/installation_run.h"
#include "bench/read_lateness.h"

namespace zelt20::bench {
namespace {

constexpr int kDefaultPairs = 3;
constexpr int kExitUsage = 64;

// The gaps of one side, all of them and those after a block's last chunk,
// where the installer logs the block.
struct Side {
  const char* name;
  bool records;
  std::vector<double> late_ms;
  std::vector<double> after_block_ms;
};

std::optional<int> PairsFrom(int argc, char** argv) {
  if (argc == 1) return kDefaultPairs;
  if (argc > 2) return std::nullopt;
  const std::string_view text = argv[1];
  int pairs = 0;
  const auto [stop, failure] = std::from_chars(text.data(), text.data() + text.size(), pairs);
  if (failure != std::errc() || stop != text.data() + text.size() || pairs < 1) return std::nullopt;
  return pairs;
}

// Adds the run's gaps to its side; false when the run failed or its
// timings cannot be read.
bool Measure(int number, Side& side) {
  const InstallationRun run = RunInstallation({ZELT20_INSTALL_PROGRAM, ZELT20_STATION_PROGRAM},
                                              {.records = side.records, .wire_time = false});
  const auto gaps = GapsAtStation(run.station_timings.front());
  std::printf("run %d  %-14s installer exit %d, station exit %d, wall %8.3f s, %zu gaps\n", number,
              side.name, run.installer.ExitCode(), run.stations.front().ExitCode(), run.wall_seconds,
              gaps ? gaps->size() : 0);
  std::fflush(stdout);
  if (!gaps) std::printf("  !! the station's timings cannot be read\n");
  for (const ExchangeGap& gap : gaps.value_or(std::vector<ExchangeGap>{})) {
    side.late_ms.push_back(gap.late_ms);
    if (gap.after_block) side.after_block_ms.push_back(gap.late_ms);
  }
  return gaps && run.installer.Succeeded() && run.stations.front().Succeeded();
}

void PrintSummary(const char* name, const std::vector<double>& late_ms) {
  const LatenessSummary summary = Summarize(late_ms);
  std::printf("  %-26s %6zu  %8.3f  %8.3f  %8.3f\n", name, summary.reads, summary.median_ms,
              summary.p99_ms, summary.worst_ms);
}

void PrintSides(std::span<const Side> sides) {
  std::printf("\nRead time-out lateness at the station (reply's last byte to the next request's\n"
              "first byte, less the read's interval time-out), ms:\n");
  std::printf("  %-26s %6s  %8s  %8s  %8s\n", "", "gaps", "median", "p99", "worst");
  for (const Side& side : sides) PrintSummary(side.name, side.late_ms);
  std::printf("after a block's last chunk only:\n");
  for (const Side& side : sides) PrintSummary(side.name, side.after_block_ms);
}

int RunBench(int pairs) {
  std::printf("ZELT20 records lateness benchmark: runs with records and with --no-records,\n"
              "%d of each, alternated, against zelt20-station without wire time\n"
              "(about 2.3 minutes a run)\n\n",
              pairs);
  std::fflush(stdout);
  Side sides[] = {{"with records", true, {}, {}}, {"--no-records", false, {}, {}}};
  bool valid = true;
  try {
    for (int pair = 0; pair < pairs; ++pair) {
      for (int side = 0; side < 2; ++side) valid = Measure(2 * pair + side + 1, sides[side]) && valid;
    }
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "records_lateness_bench: %s\n", failure.what());
    return 1;
  }
  PrintSides(sides);
  return valid ? 0 : 1;
}

}  // namespace
}  // namespace zelt20::bench

int main(int argc, char** argv) {
  const std::optional<int> pairs = zelt20::bench::PairsFrom(argc, argv);
  if (!pairs) {
    std::fprintf(stderr, "Usage: records_lateness_bench [PAIRS]  (runs with records and as many "
                         "without, alternated; default %d)\n",
                 zelt20::bench::kDefaultPairs);
    return zelt20::bench::kExitUsage;
  }
  return zelt20::bench::RunBench(*pairs);
}
