// What the console shows of runs: the time left, held against what whole
// runs on the virtual clock still took at every request they sent; and the
// live table, redrawn in place with notes above it and silent while a
// question is up.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cli/run_board.h"
#include "cli/run_view.h"
#include "tests/support/model_station.h"
#include "tests/support/release_text.h"
#include "tests/support/recording_run.h"

namespace zelt20::test {
namespace {

struct Sample {
  RunSnapshot snapshot;
  Ms in_step{0};
};

struct SampledRun {
  std::vector<Sample> samples;  // one as each request goes out
  RunSnapshot last;             // once the run has ended
};

// A whole run against the station, sampled as each request goes out.
SampledRun RunSampled(const sim::StationSetup& setup) {
  ModelStation model(setup);
  RunTrace trace(model.clock);
  std::uint32_t step_started = 0;
  trace.OnStepChange([&](const RunSnapshot& s) { step_started = s.elapsed_ms; });
  SampledRun run;
  model.line.OnWrite([&](const Bytes&) {
    const RunSnapshot s = trace.Snapshot();
    run.samples.push_back({s, Ms{static_cast<double>(s.elapsed_ms - step_started)}});
  });
  RecordingRun window;
  EXPECT_EQ(model.installer.RunInstallation(window, "1", trace), RunOutcome::kInstalled) << window.LogUtf8();
  run.last = trace.Snapshot();
  return run;
}

struct StationCase {
  const char* name;
  void (*change)(sim::StationSetup&);
};
void PrintTo(const StationCase& c, std::ostream* out) { *out << c.name; }

class TimeLeftOfARun : public ::testing::TestWithParam<StationCase> {};

// The scripted line passes bytes at once: no wire time. Once the run has
// ended there is no time left to show.
TEST_P(TimeLeftOfARun, IsWhatTheRunStillTookAtEveryRequestAndNoneAtItsEnd) {
  sim::StationSetup setup;
  GetParam().change(setup);
  const bool fullpack_sent = setup.fullpack_version != BuiltInImage().FullpackVersionWord();
  const SampledRun run = RunSampled(setup);
  ASSERT_GT(run.samples.size(), 500u);  // a request per chunk at least
  const FirmwareImage image;
  for (const Sample& sample : run.samples) {
    const RunSnapshot& s = sample.snapshot;
    const std::optional<Ms> left = TimeLeft(s, image, sample.in_step, Ms{0});
    if (!s.station) {
      EXPECT_FALSE(left) << "before the station is identified";
      continue;
    }
    // Until its fullpack version is known, the fullpack counts as sent.
    if (!fullpack_sent && !s.station_fullpack) continue;
    ASSERT_TRUE(left);
    ASSERT_EQ(*left, Ms{static_cast<double>(run.last.elapsed_ms - s.elapsed_ms)})
        << StepText(s.step) << ", " << s.bytes_sent << " bytes sent";
  }
  EXPECT_FALSE(TimeLeft(run.last, image, Ms{0}, Ms{0}));
}

INSTANTIATE_TEST_SUITE_P(
    Stations, TimeLeftOfARun,
    ::testing::Values(StationCase{"FullpackSent", [](sim::StationSetup&) {}},
                      StationCase{"FullpackCurrent", [](sim::StationSetup& s) { s = FullpackCurrent(); }},
                      StationCase{"Reboots", [](sim::StationSetup& s) { s.info.reserved_1 |= 1; }},
                      StationCase{"HoldsNoCode",
                                  [](sim::StationSetup& s) { s.info.version = {0xFF, 0xFF, 0xFFFF}; }}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

// The table of two runs: a heading and two rows, three lines.
TEST(LiveTable, RedrawsInPlaceWithNotesAboveAndNothingWhileAsking) {
  std::string all;
  LiveTable table([&](std::string_view text) { all += text; }, {"COM3", "COM4"});
  table.Start([] { return std::vector<RunSnapshot>(2); });
  table.Note("a note\n");
  table.Pause();
  table.Note("held\n");
  table.Show("question? ");
  table.Resume();
  table.Stop();

  // Back to the top of the three lines drawn, and clear down from there:
  // before the note, and before the question, which the note that came
  // meanwhile follows.
  const std::string cleared = "\r\x1b[3A\x1b[J";
  for (const std::string shown : {"a note\n", "question? "}) {
    const std::size_t at = all.find(shown);
    ASSERT_NE(at, std::string::npos) << all;
    EXPECT_EQ(all.substr(at - cleared.size(), cleared.size()), cleared) << "cleared for " << shown;
  }
  EXPECT_EQ(all.find("held\n"), all.find("question? ") + 10);
  // The last frame goes back over the three lines of the one before, and
  // is whole.
  const std::string last = all.substr(all.rfind("\r\x1b["));
  EXPECT_TRUE(last.starts_with("\r\x1b[3A")) << last;
  EXPECT_EQ(std::count(last.begin(), last.end(), '\n'), 3) << last;
  EXPECT_NE(last.find("\x1b[2KCOM4"), std::string::npos) << last;
}

}  // namespace
}  // namespace zelt20::test
