// One whole installation in real time: the simulated station paces its
// line like 19200 baud 8N1, the fullpack is sent, and the run must take what
// the line and the installer's own time-outs and waits require - no less.
// How much more it takes is printed, not held against a bound: a loaded
// machine only makes the run longer (the benchmark reports the ratio).
// Takes about four and a half minutes.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/support/line_run.h"

namespace zelt20::test {
namespace {

using std::chrono::duration_cast;
using Seconds = std::chrono::duration<double>;

// The waits are measured on a millisecond clock and the station sends the
// last byte of a reply one byte time before a real line would have
// finished it: the least time may be missed by a little.
constexpr double kLeastRatio = 0.99;

TEST(RealTimeInstallation, TakesTheTimeTheLineAndTheTimeoutsRequire) {
  sim::SimulatorOptions options;
  options.line.wire_time = true;
  const FirmwareImage image;
  const RunTimes times = StationRunTimes(image, options.station, kWireByteTime);
  ASSERT_TRUE(times.FullpackSent());
  const Ms least = times.WholeRun();
  const Ms without_wire = StationRunTimes(image, options.station).WholeRun();

  StationOnLine station(options, 51);
  InstallerThread installer(station);
  installer.Start();
  const InstallerRunResult run = installer.Join();
  ASSERT_EQ(run.outcome, RunOutcome::kInstalled) << run.log;
  const sim::SimulatorReport report = station.Report();
  EXPECT_TRUE(report.flash.Matches()) << sim::FormatReport(report);
  EXPECT_EQ(report.activity.retransmissions, 0);

  const double ratio = run.elapsed / least;
  std::printf(
      "real-time run: %.1f s; least %.1f s (bytes on the wire %.1f s, read time-outs and waits %.1f s); "
      "ratio %.4f\n",
      duration_cast<Seconds>(run.elapsed).count(), duration_cast<Seconds>(least).count(),
      duration_cast<Seconds>(least - without_wire).count(), duration_cast<Seconds>(without_wire).count(),
      ratio);
  RecordProperty("measured_ms", std::to_string(run.elapsed.count()));
  RecordProperty("least_ms", std::to_string(least.count()));
  EXPECT_GE(ratio, kLeastRatio);
}

}  // namespace
}  // namespace zelt20::test
