// What the console shows of runs: the time left, held against what whole
// runs on the virtual clock still took at every request they sent; and the
// live table, redrawn in place with notes above it and silent while a
// question is up.
#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "cli/run_board.h"
#include "cli/run_view.h"
#include "install/installation.h"
#include "sim/station_model.h"
#include "tests/support/release_text.h"
#include "tests/support/recording_run.h"
#include "tests/support/scripted_station.h"
#include "tests/support/virtual_clock.h"

namespace zelt20::test {
namespace {

constexpr CalendarTime kStampTime{2026, 12, 2, 8, 14, 30, 45, 0};

struct Sample {
  RunSnapshot snapshot;
  Ms in_step{0};
};

// A whole run against the station, sampled as each request goes out.
std::vector<Sample> SampledRun(const sim::StationSetup& setup, std::uint32_t& run_ms) {
  sim::StationModel station(setup);
  VirtualClock clock;
  ScriptedStation line(clock);
  RunTrace trace(clock);
  std::uint32_t step_started = 0;
  trace.OnStepChange([&](const RunSnapshot& s) { step_started = s.elapsed_ms; });
  std::vector<Sample> samples;
  line.SetDefaultAnswer([&](const Bytes& request) {
    const RunSnapshot s = trace.Snapshot();
    samples.push_back({s, Ms{static_cast<double>(s.elapsed_ms - step_started)}});
    sim::StationAnswer answer = station.HandleRequest(request);
    answer.bytes.insert(answer.bytes.end(), answer.after_deaf.begin(), answer.after_deaf.end());
    return answer.bytes;
  });
  RecordingRun window;
  Installer installer({line, [](const ComPort&) { return ComDevice{"/dev/zelt20-line"}; }, clock,
                       [] { return kStampTime; }});
  EXPECT_EQ(installer.RunInstallation(window, "1", trace), RunOutcome::kInstalled) << window.LogUtf8();
  run_ms = trace.Snapshot().elapsed_ms;
  return samples;
}

struct StationCase {
  const char* name;
  void (*change)(sim::StationSetup&);
};
void PrintTo(const StationCase& c, std::ostream* out) { *out << c.name; }

class TimeLeftOfARun : public ::testing::TestWithParam<StationCase> {};

// The scripted line passes bytes at once: no wire time.
TEST_P(TimeLeftOfARun, IsWhatTheRunStillTookAtEveryRequest) {
  sim::StationSetup setup;
  GetParam().change(setup);
  const bool fullpack_sent = setup.fullpack_version != BuiltInImage().FullpackVersionWord();
  std::uint32_t run_ms = 0;
  const std::vector<Sample> samples = SampledRun(setup, run_ms);
  ASSERT_GT(samples.size(), 500u);  // a request per chunk at least
  const FirmwareImage image;
  for (const Sample& sample : samples) {
    const RunSnapshot& s = sample.snapshot;
    const std::optional<Ms> left = TimeLeft(s, image, sample.in_step, Ms{0});
    if (!s.station) {
      EXPECT_FALSE(left) << "before the station is identified";
      continue;
    }
    // Until its fullpack version is known, the fullpack counts as sent.
    if (!fullpack_sent && !s.station_fullpack) continue;
    ASSERT_TRUE(left);
    ASSERT_EQ(*left, Ms{static_cast<double>(run_ms - s.elapsed_ms)})
        << StepText(s.step) << ", " << s.bytes_sent << " bytes sent";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Stations, TimeLeftOfARun,
    ::testing::Values(StationCase{"FullpackSent", [](sim::StationSetup&) {}},
                      StationCase{"FullpackCurrent",
                                  [](sim::StationSetup& s) {
                                    s.fullpack_version = BuiltInImage().FullpackVersionWord();
                                  }},
                      StationCase{"Reboots", [](sim::StationSetup& s) { s.info.reserved_1 |= 1; }},
                      StationCase{"HoldsNoCode",
                                  [](sim::StationSetup& s) { s.info.version = {0xFF, 0xFF, 0xFFFF}; }}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(TimeLeft, NoneOnceTheRunHasEnded) {
  RunSnapshot s;
  s.station = sim::StationSetup::DefaultStationInfo();
  s.step = {InstallStep::kSegment, 3};
  EXPECT_TRUE(TimeLeft(s, FirmwareImage(), Ms{0}));
  s.end = RunEnd::kStopped;
  EXPECT_FALSE(TimeLeft(s, FirmwareImage(), Ms{0}));
}

// The table of two runs: a heading and two rows, three lines.
TEST(LiveTable, RedrawsInPlaceWithNotesAboveAndNothingWhileAsking) {
  std::vector<std::string> writes;
  LiveTable table([&](std::string_view text) { writes.emplace_back(text); }, {"COM3", "COM4"});
  table.Start([] { return std::vector<RunSnapshot>(2); });
  table.Note("a note\n");
  table.Pause();
  table.Note("held\n");
  table.Show("question? ");
  table.Resume();
  table.Stop();
  const std::string all = std::accumulate(writes.begin(), writes.end(), std::string());

  // Back to the top of the three lines drawn, and clear down from there.
  const std::string cleared = "\r\x1b[3A\x1b[J";
  const std::size_t note = all.find("a note\n");
  ASSERT_NE(note, std::string::npos) << all;
  EXPECT_EQ(all.substr(note - cleared.size(), cleared.size()), cleared) << "the table cleared for the note";
  // While the question is up nothing is drawn: the table clears for it and
  // the note that came meanwhile follows it.
  const std::size_t question = all.find("question? ");
  ASSERT_NE(question, std::string::npos) << all;
  EXPECT_EQ(all.substr(question - cleared.size(), cleared.size()), cleared) << "the table cleared for it";
  EXPECT_EQ(all.find("held\n"), question + 10);
  // The last frame goes back over the three lines of the one before, and
  // is whole.
  const std::string last = all.substr(all.rfind("\r\x1b["));
  EXPECT_TRUE(last.starts_with("\r\x1b[3A")) << last;
  EXPECT_EQ(std::count(last.begin(), last.end(), '\n'), 3) << last;
  EXPECT_NE(last.find("\x1b[2KCOM4"), std::string::npos) << last;
}

}  // namespace
}  // namespace zelt20::test
