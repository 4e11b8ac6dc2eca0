// What the trace of a run keeps, for every kind of end: installations
// against the simulated station's model on a scripted line and a virtual
// clock, each row with its faults, checked against what the station saw
// and what the station was set up to report, and the record made of it.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "core/cp1251.h"
#include "install/installation.h"
#include "record/install_record.h"
#include "record/run_trace.h"
#include "sim/report.h"
#include "sim/station_model.h"
#include "tests/support/model_station.h"
#include "tests/support/recording_run.h"
#include "tests/support/release_text.h"
#include "tests/support/run_times.h"

namespace zelt20::test {
namespace {

// A run against the station's model, with a trace.
struct TracedRun {
  TracedRun(sim::StationSetup setup, const std::vector<std::string>& faults)
      : model_(setup, faults) {}

  RunSnapshot Run(const char* port_text) {
    trace_.OnStepChange([this](const RunSnapshot& s) {
      steps_seen_.push_back(s.step);
      bytes_at_steps_.push_back(s.bytes_sent);
    });
    model_.installer.RunInstallation(window_, port_text, trace_);
    return trace_.Snapshot();
  }

  ModelStation model_;
  ScriptedStation& line_ = model_.line;
  RecordingRun window_;
  RunTrace trace_{model_.clock};
  std::vector<StepAt> steps_seen_;
  std::vector<std::int32_t> bytes_at_steps_;
};

int HeaderLength() { return static_cast<int>(BuiltInImage().BlockBytes(kUpgraderHeaderIndex).size()); }
int FullpackMessageLength() { return BuiltInImage().BlockMessageLength(kFullpackIndex); }

// The block messages the station confirmed, by its own count.
int ConfirmedBytes(const sim::BlockCounts& blocks) {
  int total = blocks.headers_confirmed * HeaderLength() + blocks.fullpacks_confirmed * FullpackMessageLength();
  for (int segment = 0; segment < blocks.segments_confirmed; ++segment) {
    total += BuiltInImage().BlockMessageLength(segment);
  }
  return total;
}

// Requests that went twice in a row: the exchange's resends, as the line
// carried them.
int RepeatedRequests(const std::vector<Bytes>& requests) {
  int repeats = 0;
  for (std::size_t i = 1; i < requests.size(); ++i) repeats += requests[i] == requests[i - 1] ? 1 : 0;
  return repeats;
}

struct EndRow {
  std::string name;
  sim::StationSetup station = FullpackCurrent();
  std::vector<std::string> faults = {};
  std::string port_text = "1";
  std::deque<bool> answers = {};  // the boxes' answers; OK when none is left
  std::string stop_after = {};    // Stop is pressed once this line is logged (UTF-8)
  int stop_at_request = 0;        // or once the line has carried this many requests
  std::optional<StopCause> stop_cause = std::nullopt;  // what stops it
  bool open_fails = false;

  std::string outcome = "installed";  // as the record names the end
  nlohmann::json stopped_by = nullptr;  // as the record names what stopped it
  StepAt step = {};
  std::string last_error = {};  // UTF-8
  std::vector<bool> box_answers = {true};
  // Bytes the run counted past the blocks the station confirmed.
  int counted_beyond = 0;
};

const std::string kLost = "соединение потеряно!";
const std::string kNotDone = "команда не выполнена!";

// Each kind of end once; the faults pick the counters each can get wrong.
std::vector<EndRow> EndRows() {
  sim::StationSetup same_release = FullpackCurrent();
  same_release.info.version = InstallerRelease();
  return {
      {.name = "installed with the fullpack, a segment chunk's reply lost once",
       .station = sim::StationSetup{}, .faults = {"drop:segment3.2#1"},  // an older fullpack
       .step = {InstallStep::kProm}, .last_error = "прием пакета не выполнен"},
      // Chunks 1 to 4 counted; the fifth never got a good reply.
      {.name = "failed in segment 12", .faults = {"badcrc:segment12.5"},
       .outcome = "failed", .step = {InstallStep::kSegment, 12}, .last_error = kLost,
       .counted_beyond = 4 * 256},
      // Every chunk of both attempts was taken, the verdict refused.
      {.name = "failed: segment 0 refused twice", .faults = {"status=2600:segment0.last"},
       .outcome = "failed", .step = {InstallStep::kSegment, 0}, .last_error = kLost,
       .counted_beyond = 2 * BuiltInImage().BlockMessageLength(0)},
      {.name = "failed: silent at identify", .faults = {"silence:identify"},
       .outcome = "failed", .step = {InstallStep::kIdentify}, .last_error = kNotDone, .box_answers = {}},
      {.name = "stopped in the transfer", .stop_after = "Сегмент загружен",
       .stop_cause = StopCause::kStopButton,
       .outcome = "stopped", .stopped_by = "stop_button", .step = {InstallStep::kSegment, 1}},
      // Identify, enter upgrader mode, the fullpack version, then three of
      // the fullpack's chunks: two counted, the third's reply left unread,
      // and the fullpack never arrived whole.
      {.name = "stopped in the fullpack", .station = sim::StationSetup{}, .stop_at_request = 6,
       .stop_cause = StopCause::kSigterm,
       .outcome = "stopped", .stopped_by = "SIGTERM", .step = {InstallStep::kFullpack},
       .counted_beyond = 2 * 256},
      {.name = "declined at the duration box after the same-release box",
       .station = same_release, .answers = {true, false},
       .outcome = "declined", .step = {InstallStep::kConfirm}, .box_answers = {true, false}},
      {.name = "wrong port text", .port_text = "1a",
       .outcome = "wrong_port_text", .step = {InstallStep::kPort},
       .last_error = "неправильный номер COM порта!", .box_answers = {}},
      {.name = "port not opened", .open_fails = true,
       .outcome = "port_not_opened", .step = {InstallStep::kPort},
       .last_error = "невозможно открыть порт! \\\\.\\COM1", .box_answers = {}},
  };
}

TEST(TraceOfAnEnd, KeepsWhatTheRunToldAndWhereItEnded) {
  for (const EndRow& row : EndRows()) {
    SCOPED_TRACE(row.name);
    TracedRun run(row.station, row.faults);
    run.window_.AnswerBoxes(row.answers);
    if (row.open_fails) run.line_.FailOpen();
    const auto stop = [&run, cause = row.stop_cause] {
      if (cause) run.trace_.StopRequested(*cause);
      run.window_.Flags().stop_requested = true;
    };
    if (!row.stop_after.empty()) {
      run.window_.OnAppend([stop, line = Utf8ToCp1251(row.stop_after)](const std::string& appended) {
        if (appended.find(line) != std::string::npos) stop();
      });
    }
    if (row.stop_at_request > 0) {
      run.line_.OnWrite([stop, &run, count = row.stop_at_request](const Bytes&) {
        if (static_cast<int>(run.line_.Requests().size()) == count) stop();
      });
    }
    const RunSnapshot s = run.Run(row.port_text.c_str());
    const sim::SimulatorReport report = sim::MakeReport(run.model_.Station());

    // The record of this end: one line that parses, naming the end and the
    // station, when there was one.
    const bool identified = row.step.step > InstallStep::kIdentify;  // the station answered
    const nlohmann::json record = nlohmann::json::parse(RecordLine(s, {}, {.recorded = s.started}));
    EXPECT_EQ(record["outcome"], row.outcome);
    EXPECT_EQ(record["stopped_by"], row.stopped_by);
    EXPECT_EQ(record["station"].is_object(), identified);
    EXPECT_EQ(s.step, row.step);
    EXPECT_EQ(Cp1251ToUtf8(s.last_error), row.last_error);
    EXPECT_EQ(Cp1251ToUtf8(s.port_text), row.port_text);
    const bool port_named = row.outcome != "wrong_port_text";
    EXPECT_EQ(s.port_opened, !row.open_fails && port_named);
    if (port_named) {
      ASSERT_TRUE(s.port && s.device);
      EXPECT_EQ(s.port->path, "\\\\.\\COM" + row.port_text);
      EXPECT_EQ(s.device->device, ModelStation::kDevice);
    }

    std::vector<bool> answers;
    for (const BoxSeen& box : s.boxes) answers.push_back(box.ok.value_or(false));
    EXPECT_EQ(answers, row.box_answers);
    ASSERT_EQ(s.station.has_value(), identified);
    if (identified) {
      EXPECT_EQ(s.station->processor_serial, row.station.info.processor_serial);
    }

    EXPECT_EQ(s.requests_resent, RepeatedRequests(run.line_.Requests()));
    EXPECT_EQ(s.blocks_resent, report.blocks.restarts);

    // The counters: every block the station confirmed, and the chunks the
    // run counted of the block it ended in; the total without the header.
    // The fullpack counts as sent once the station has taken it whole.
    EXPECT_EQ(record["fullpack_sent"], report.blocks.fullpacks_confirmed > 0);
    if (s.station_fullpack) {
      EXPECT_EQ(s.fullpack_needed, row.station.fullpack_version != BuiltInImage().FullpackVersionWord());
      EXPECT_EQ(s.transfer_total, CodeSegmentsTotal() + (s.fullpack_needed ? FullpackMessageLength() : 0));
      EXPECT_EQ(s.station_fullpack, row.station.fullpack_version);
      EXPECT_EQ(s.bytes_sent, ConfirmedBytes(report.blocks) + row.counted_beyond);
    } else {
      EXPECT_EQ(s.bytes_sent, 0);
    }
    if (row.outcome == "installed") {
      EXPECT_EQ(s.bytes_sent, s.transfer_total + HeaderLength());
      // Nothing delays this run but the lost reply's silent read.
      EXPECT_EQ(Ms{s.elapsed_ms},
                StationRunTimes(BuiltInImage(), row.station).WholeRun() + SilentRead(kSegmentChunkRead));
    }
  }
}

// The listener hears each step once, in the order the run takes them, and
// the end last; the bytes sent never go back.
TEST(RunTraceSteps, ComeInTheRunsOrderThenTheEnd) {
  TracedRun run(FullpackCurrent(), {});
  run.Run("1");
  std::vector<StepAt> expected = {{InstallStep::kIdentify}, {InstallStep::kConfirm},
                                     {InstallStep::kUpgraderMode}, {InstallStep::kFullpack},
                                     {InstallStep::kHeader}};
  for (int segment = 0; segment < kSegmentCount; ++segment) expected.push_back({InstallStep::kSegment, segment});
  expected.push_back({InstallStep::kProm});
  expected.push_back({InstallStep::kProm});  // the end
  EXPECT_EQ(run.steps_seen_, expected);
  EXPECT_TRUE(std::is_sorted(run.bytes_at_steps_.begin(), run.bytes_at_steps_.end()));
}

}  // namespace
}  // namespace zelt20::test
