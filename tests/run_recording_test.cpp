// A run's recording: exactly one record, whether the run's end or the
// window's close comes first, and a run that goes on and ends exactly as it
// would when no record can be kept (a folder that cannot be made, a full
// disk, a file another program keeps locked).
#include "record/run_recording.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "core/cp1251.h"
#include "record/records_file.h"
#include "tests/support/model_station.h"
#include "tests/support/recording_run.h"
#include "tests/support/temp_dir.h"

namespace zelt20::test {
namespace {

using Json = nlohmann::json;

std::vector<Json> Records(const std::filesystem::path& folder) {
  std::vector<Json> records;
  const Checked<RecordLines> read = ReadRecordLines(folder / kRecordsFileName);
  if (read) {
    for (const std::string& line : read->lines) records.push_back(Json::parse(line));
  }
  return records;
}

// The run's end and the window's close, in either order or at once: one
// record, made by whichever came first, and in the file by the time the
// window's call returns (the process may end then).
TEST(RunRecordingOnce, WhicheverComesFirstKeepsTheOneRecord) {
  using Race = std::function<void(RunRecording&, const std::filesystem::path& folder)>;
  struct Order {
    const char* name;
    Race race;
    std::vector<std::string> outcomes;  // when the two race, either is right
  };
  const std::vector<Order> orders = {
      {"run ends, then the window closes",
       [](RunRecording& r, const std::filesystem::path&) {
         r.RunEnded(RunEnd::kStopped);
         r.KeepRecordOfAbandonedRun();
       },
       {"stopped"}},
      {"window closes, then the run ends",
       [](RunRecording& r, const std::filesystem::path&) {
         r.KeepRecordOfAbandonedRun();
         r.RunEnded(RunEnd::kStopped);
       },
       {"window_closed"}},
      {"both at once",
       [](RunRecording& r, const std::filesystem::path& folder) {
         std::thread run([&r] { r.RunEnded(RunEnd::kStopped); });
         // Most often the run is writing its record by now.
         std::this_thread::sleep_for(std::chrono::microseconds(300));
         r.KeepRecordOfAbandonedRun();
         EXPECT_EQ(Records(folder).size(), 1u);
         run.join();
       },
       {"stopped", "window_closed"}},
  };
  for (const Order& order : orders) {
    SCOPED_TRACE(order.name);
    TempDir folder;
    RunRecording recording(folder.Path(), {}, "5");
    recording.RunStarted("5");
    order.race(recording, folder.Path());
    const std::vector<Json> records = Records(folder.Path());
    ASSERT_EQ(records.size(), 1u);
    const std::string outcome = records[0]["outcome"];
    EXPECT_NE(std::find(order.outcomes.begin(), order.outcomes.end(), outcome), order.outcomes.end())
        << outcome;
    EXPECT_FALSE(recording.Problem());
  }
}

// A whole run against the station's model, recorded or not.
struct Ended {
  RunOutcome outcome;
  std::string log;
  std::uint32_t elapsed_ms;
  bool operator==(const Ended&) const = default;
};
Ended WholeRun(RunObserver& observer, LogSink* log_copy) {
  ModelStation model(FullpackCurrent());
  RecordingRun window;
  if (log_copy != nullptr) {
    window.OnAppend([log_copy](const std::string& text) { log_copy->AppendLog(text.c_str()); });
  }
  const RunOutcome outcome = model.installer.RunInstallation(window, "1", observer);
  return {outcome, window.Log(), model.clock.Now()};
}

TEST(RunRecordingProblems, LeaveTheRunAsItWouldBeAndAreTold) {
  struct Case {
    const char* name;
    // Spoils the records folder it returns; may hold a descriptor meanwhile.
    std::function<std::filesystem::path(const TempDir& dir, int& held)> spoil;
    std::string problem_start;
    std::string reason;
  };
  const std::vector<Case> cases = {
      {"folder cannot be made",
       [](const TempDir& dir, int&) {
         TempDir::Write(dir.File("file"), "");
         return dir.Path() / "file" / "records";
       },
       "no record was kept: cannot make the folder ", "Not a directory"},
      {"disk full",
       [](const TempDir& dir, int&) {
         std::filesystem::create_symlink("/dev/full", dir.File("installations.jsonl"));
         return dir.Path();
       },
       "no record was kept: cannot write ", "No space left on device"},
      {"records file locked by another program",
       [](const TempDir& dir, int& held) {
         held = ::open(dir.File("installations.jsonl").c_str(), O_RDWR | O_CREAT, 0644);
         ::flock(held, LOCK_EX);
         return dir.Path();
       },
       "no record was kept: ", "stays locked by another program"},
  };
  const Ended unrecorded = WholeRun(NoObserver(), nullptr);
  ASSERT_EQ(unrecorded.outcome, RunOutcome::kInstalled);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    int held = -1;
    RunRecording recording(c.spoil(dir, held), {}, "1");
    const Ended recorded = WholeRun(recording, &recording.Log());
    if (held >= 0) ::close(held);
    EXPECT_TRUE(recorded == unrecorded);
    const std::string problem = recording.Problem().value_or("none");
    EXPECT_TRUE(problem.starts_with(c.problem_start) && problem.ends_with(c.reason)) << problem;
  }
}

}  // namespace
}  // namespace zelt20::test
