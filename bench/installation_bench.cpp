// How close a whole installation comes to the time the protocol itself
// needs, and what the installer spends on its own: one full run with the
// fullpack sent against the simulated station on a 19200-baud line, the
// lateness of the port's read time-outs, and the cost of a log append.
// Prints the figures, the ratios and the goals they are held against
// (overhead under 1 %, CPU under 2 % of wall time, time-outs at most 2 ms
// late). No assertions: the figures depend on the machine and its load.
#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <cstdio>
#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "bench/installation_run.h"
#include "bench/log_append_cost.h"
#include "bench/read_lateness.h"
#include "install/firmware_image.h"
#include "sim/station_model.h"
#include "tests/support/run_times.h"

namespace zelt20::bench {
namespace {

constexpr double kOverheadGoalPercent = 1.0;
constexpr double kCpuGoalPercent = 2.0;
constexpr double kLatenessGoalMs = 2.0;

// The reply reads of an installation end as "reply then silence"; the
// silent line shows the total time-out. Short runs of each.
constexpr LatenessCase kLatenessCases[] = {
    {ReadCase::kReplyThenSilence, 75, 60},
    {ReadCase::kReplyThenSilence, 150, 40},
    {ReadCase::kSilentLine, 75, 30},
    {ReadCase::kSilentLine, 150, 20},
};

const char* Verdict(bool met) { return met ? "met" : "MISSED"; }

void PrintLoad(const char* when) {
  double load[3] = {};
  if (getloadavg(load, 3) == 3) {
    std::printf("load average %s: %.2f %.2f %.2f\n", when, load[0], load[1], load[2]);
  }
}

// The least time of the run against the simulated station as it starts by
// default (the fullpack is sent, no reboot), taken apart for the printout.
struct ProtocolMinimum {
  int requests = 0;
  int replies = 0;  // replies read, each ended by its silence
  int header_chunks = 0;
  int fullpack_chunks = 0;
  int segment_chunks = 0;
  std::size_t request_bytes = 0;
  std::size_t reply_bytes = 0;
  std::size_t enter_upgrader_bytes = 0;  // the one request that no reply follows
  double silence_seconds = 0;
  double wait_seconds = 0;
  double seconds = 0;

  double WireSeconds() const {
    return static_cast<double>(request_bytes + reply_bytes) * kWireByteSeconds;
  }
  static constexpr double kWireByteSeconds = test::kWireByteTime.count() / 1000.0;
};

ProtocolMinimum ComputeProtocolMinimum(const FirmwareImage& image) {
  const RunTimes times = test::StationRunTimes(image, sim::StationSetup{}, test::kWireByteTime);
  ProtocolMinimum minimum;
  for (const RunStep& step : times.Steps()) {
    ++minimum.requests;
    if (step.reply_bytes > 0) ++minimum.replies;
    minimum.request_bytes += step.request_bytes;
    minimum.reply_bytes += step.reply_bytes;
    minimum.silence_seconds += step.silence.count() / 1000.0;
    minimum.wait_seconds += step.wait.count() / 1000.0;
    switch (step.kind) {
      case RunStepKind::kEnterUpgrader: minimum.enter_upgrader_bytes = step.request_bytes; break;
      case RunStepKind::kHeaderChunk: ++minimum.header_chunks; break;
      case RunStepKind::kFullpackChunk: ++minimum.fullpack_chunks; break;
      case RunStepKind::kSegmentChunk: ++minimum.segment_chunks; break;
      default: break;
    }
  }
  minimum.seconds = times.WholeRun().count() / 1000.0;
  return minimum;
}

void PrintAppendCost() {
  const AppendCost cost = MeasureLogAppendCost();
  std::printf("\nLog append (LogText::Append of a 30-byte line, no front end; median):\n");
  std::printf("  empty log   %8.1f ns\n", cost.empty_log_ns);
  std::printf("  full log    %8.1f ns  (64,004 bytes: each append drops the oldest line)\n",
              cost.full_log_ns);
  std::printf("The same line in a run's log file (one write, flushed to the disk):\n");
  std::printf("  median %8.1f us, worst %8.1f us\n", cost.log_file_median_us, cost.log_file_worst_us);
}

// Over all cases: the highest median and the worst read.
std::optional<LatenessSummary> MeasureLateness() {
  std::printf("\nRead time-out lateness over a pty (short run of the read time-out bench):\n");
  const auto results = MeasureReadLateness(kLatenessCases);
  if (!results) return std::nullopt;
  LatenessSummary overall;
  for (const LatenessResult& result : *results) {
    std::printf("  ");
    PrintLateness(result);
    overall.reads += result.summary.reads;
    overall.median_ms = std::max(overall.median_ms, result.summary.median_ms);
    overall.worst_ms = std::max(overall.worst_ms, result.summary.worst_ms);
  }
  return overall;
}

// Whether the run had exactly the requests the minimum counts: any resend
// or fault would make the minimum wrong for it.
bool RequestsAsCounted(const InstallationRun& run, const ProtocolMinimum& minimum) {
  using sim::RequestKind;
  const std::pair<RequestKind, int> expected[] = {
      {RequestKind::kIdentify, 1},         {RequestKind::kEnterUpgrader, 1},
      {RequestKind::kFullpackVersion, 1},  {RequestKind::kHeaderChunk, minimum.header_chunks},
      {RequestKind::kFullpackChunk, minimum.fullpack_chunks},
      {RequestKind::kSegmentChunk, minimum.segment_chunks},
      {RequestKind::kWriteProm, 1},        {RequestKind::kUnknown, 0},
      {RequestKind::kMalformed, 0},
  };
  bool as_counted = true;
  for (const auto& [kind, count] : expected) {
    const auto reported = ReportedRequests(run.station_reports.front(), sim::KindName(kind));
    if (reported != count) {
      std::printf("  !! the station counted %d %s requests, the minimum %d\n", reported.value_or(-1),
                  sim::KindName(kind), count);
      as_counted = false;
    }
  }
  return as_counted;
}

bool RunSucceeded(const InstallationRun& run) {
  bool succeeded = true;
  if (!run.installer.Succeeded()) {
    std::printf("  !! the installer ended with %s %d\n", run.installer.exited ? "status" : "signal",
                run.installer.code);
    succeeded = false;
  }
  const test::ChildEnd& station = run.stations.front();
  if (!station.Succeeded()) {
    std::printf("  !! the station did not end with release %s flashed (%s %d)\n",
                VersionText(InstallerRelease()).c_str(), station.exited ? "status" : "signal",
                station.code);
    succeeded = false;
  }
  if (!succeeded) std::printf("installer log:\n%s\nstation report:\n%s\n", run.log.c_str(),
                              run.station_reports.front().c_str());
  return succeeded;
}

void PrintMinimum(const ProtocolMinimum& minimum) {
  std::printf("  requests %d, %zu bytes; replies %d, %zu bytes: %.3f s on the wire\n",
              minimum.requests, minimum.request_bytes, minimum.replies, minimum.reply_bytes,
              minimum.WireSeconds());
  std::printf("  chunks: fullpack %d, header %d, segments %d (%d)\n", minimum.fullpack_chunks,
              minimum.header_chunks, minimum.segment_chunks,
              minimum.fullpack_chunks + minimum.header_chunks + minimum.segment_chunks);
  std::printf("  silences ending the replies %.3f s, fixed waits %.3f s\n", minimum.silence_seconds,
              minimum.wait_seconds);
  std::printf("  protocol minimum            %10.3f s\n", minimum.seconds);
}

// The simulator hands over each reply's last byte one byte time before a
// real line would (it writes byte k of a reply k byte times after byte 0,
// where a line completes it after k + 1), and nothing waits for the wire
// time of the enter upgrader mode request, the one request not followed by
// a reply. So a run on the simulator may end this much under the minimum.
double SimulatorHeadStartSeconds(const ProtocolMinimum& minimum) {
  return static_cast<double>(static_cast<std::size_t>(minimum.replies) + minimum.enter_upgrader_bytes) *
         ProtocolMinimum::kWireByteSeconds;
}

void PrintRun(const InstallationRun& run, const ProtocolMinimum& minimum,
              const std::optional<LatenessSummary>& lateness) {
  const double overhead = (run.wall_seconds / minimum.seconds - 1.0) * 100.0;
  const double cpu = run.installer.CpuSeconds();
  const double cpu_percent = cpu / run.wall_seconds * 100.0;
  const double floor = minimum.seconds - SimulatorHeadStartSeconds(minimum);

  std::printf("  installer wall time         %10.3f s\n", run.wall_seconds);
  std::printf("  overhead (wall / min - 1)   %10.3f %%   %+.3f s, %.3f ms per reply"
              "      goal < %.0f %%: %s\n",
              overhead, run.wall_seconds - minimum.seconds,
              (run.wall_seconds - minimum.seconds) * 1000.0 / minimum.replies,
              kOverheadGoalPercent, Verdict(overhead < kOverheadGoalPercent));
  std::printf("  installer CPU (user + sys)  %10.3f s = %.3f %% of wall (user %.3f, sys %.3f)"
              "  goal < %.0f %%: %s\n",
              cpu, cpu_percent, run.installer.UserSeconds(), run.installer.SystemSeconds(),
              kCpuGoalPercent,
              Verdict(cpu_percent < kCpuGoalPercent));
  std::printf("  context switches            %ld voluntary, %ld involuntary\n",
              run.installer.usage.ru_nvcsw, run.installer.usage.ru_nivcsw);
  if (lateness) {
    std::printf("  read time-outs late by      median %.3f ms, worst %.3f ms"
                "        goal <= %.0f ms: %s\n",
                lateness->median_ms, lateness->worst_ms, kLatenessGoalMs,
                Verdict(lateness->worst_ms <= kLatenessGoalMs));
  }
  std::printf("  simulator's floor           %10.3f s (it can beat the minimum by %.3f s);\n"
              "  overhead against that floor %10.3f %%\n",
              floor, minimum.seconds - floor, (run.wall_seconds / floor - 1.0) * 100.0);
  std::printf("  progress drawn on the installer's terminal: %zu bytes\n", run.terminal_bytes);
}

int RunBench() {
  std::printf("ZELT20 installation benchmark\n");
  PrintLoad("at start");
  PrintAppendCost();
  const std::optional<LatenessSummary> lateness = MeasureLateness();

  const FirmwareImage image;
  const ProtocolMinimum minimum = ComputeProtocolMinimum(image);
  std::printf("\nFull installation, fullpack sent, against zelt20-station --wire-time "
              "(this takes about %.1f minutes):\n",
              minimum.seconds / 60.0);
  std::fflush(stdout);
  InstallationRun run;
  try {
    run = RunInstallation({ZELT20_INSTALL_PROGRAM, ZELT20_STATION_PROGRAM});
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "installation_bench: %s\n", failure.what());
    return 1;
  }
  PrintMinimum(minimum);
  const bool valid = RunSucceeded(run) && RequestsAsCounted(run, minimum);
  PrintRun(run, minimum, lateness);
  PrintLoad("at end");
  return valid ? 0 : 1;
}

}  // namespace
}  // namespace zelt20::bench

int main() { return zelt20::bench::RunBench(); }
