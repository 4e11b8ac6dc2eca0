// A run's recording: exactly one record, whether the run's end or the
// program's end comes first; a run that goes on and ends exactly as it
// would when no record can be kept where it should (a folder that cannot
// be made, a records file that refuses writes or that another program
// keeps locked), or while the disk does not answer at all.
#include "record/run_recording.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <future>
#include <nlohmann/json.hpp>
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
using namespace std::chrono_literals;

// Far beyond what the writer needs for a run's files.
constexpr auto kWriterLimit = 30s;

// Every record in the folder, side files included (not a device that
// stands for the records file).
std::vector<Json> Records(const std::filesystem::path& folder) {
  std::vector<Json> records;
  for (const std::filesystem::path& file : RecordFiles(folder)) {
    if (!std::filesystem::is_regular_file(file)) continue;
    const Checked<RecordLines> read = ReadRecordLines(file);
    if (!read) continue;
    for (const std::string& line : read->lines) records.push_back(Json::parse(line));
  }
  return records;
}

// The run's end and the program's end under it, in either order or at
// once: one record, made by whichever came first.
TEST(RunRecordingOnce, WhicheverComesFirstKeepsTheOneRecord) {
  using Race = std::function<void(RunRecording&)>;
  struct Order {
    const char* name;
    Race race;
    std::vector<std::string> outcomes;  // when the two race, either is right
  };
  const std::vector<Order> orders = {
      {"run ends, then the program",
       [](RunRecording& r) {
         r.RunEnded(RunEnd::kStopped);
         r.KeepRecordOfAbandonedRun();
       },
       {"stopped"}},
      {"program ends, then the run",
       [](RunRecording& r) {
         r.KeepRecordOfAbandonedRun();
         r.RunEnded(RunEnd::kStopped);
       },
       {"window_closed"}},
      {"both at once",
       [](RunRecording& r) {
         std::thread run([&r] { r.RunEnded(RunEnd::kStopped); });
         r.KeepRecordOfAbandonedRun();
         run.join();
       },
       {"stopped", "window_closed"}},
  };
  for (const Order& order : orders) {
    SCOPED_TRACE(order.name);
    TempDir folder;
    Recorder recorder(folder.Path(), {});
    const std::shared_ptr<RunRecording> recording = recorder.Start("5");
    recording->RunStarted("5");
    order.race(*recording);
    ASSERT_TRUE(recorder.WaitUntilWritten(kWriterLimit));
    const std::vector<Json> records = Records(folder.Path());
    ASSERT_EQ(records.size(), 1u);
    const std::string outcome = records[0]["outcome"];
    EXPECT_NE(std::find(order.outcomes.begin(), order.outcomes.end(), outcome), order.outcomes.end())
        << outcome;
    // A run the program left behind may log more: its log file is not whole.
    EXPECT_EQ(records[0]["log_file_complete"], outcome == "stopped");
    EXPECT_FALSE(recording->Problem());
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
    std::size_t records;  // kept in a side file, when installations.jsonl refused it
  };
  const std::vector<Case> cases = {
      {"folder cannot be made",
       [](const TempDir& dir, int&) {
         TempDir::Write(dir.File("file"), "");
         return dir.Path() / "file" / "records";
       },
       "no record was kept: cannot make the folder ", "Not a directory", 0},
      {"records file refuses writes",
       [](const TempDir& dir, int&) {
         std::filesystem::create_symlink("/dev/full", dir.File("installations.jsonl"));
         return dir.Path();
       },
       "the record was kept in installations.", "No space left on device", 1},
      {"records file locked by another program",
       [](const TempDir& dir, int& held) {
         held = ::open(dir.File("installations.jsonl").c_str(), O_RDWR | O_CREAT, 0644);
         ::flock(held, LOCK_EX);
         return dir.Path();
       },
       "the record was kept in installations.", "stays locked by another program", 1},
  };
  const Ended unrecorded = WholeRun(NoObserver(), nullptr);
  ASSERT_EQ(unrecorded.outcome, RunOutcome::kInstalled);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    int held = -1;
    const std::filesystem::path folder = c.spoil(dir, held);
    Recorder recorder(folder, {});
    const std::shared_ptr<RunRecording> recording = recorder.Start("1");
    const Ended recorded = WholeRun(*recording, &recording->Log());
    ASSERT_TRUE(recorder.WaitUntilWritten(kWriterLimit));
    if (held >= 0) ::close(held);
    EXPECT_TRUE(recorded == unrecorded);
    const std::string problem = recording->Problem().value_or("none");
    EXPECT_TRUE(problem.starts_with(c.problem_start) && problem.ends_with(c.reason)) << problem;
    const std::vector<Json> records = Records(folder);
    ASSERT_EQ(records.size(), c.records);
    if (c.records > 0) {
      EXPECT_EQ(records[0]["outcome"], "installed");
    }
  }
}

// A disk that does not answer holds up no run: the run ends on its own
// clock exactly as without records while its lines wait for the writer;
// once the disk answers, every line reaches the log file in order, then
// the record.
TEST(RunRecordingDisk, BlockedDiskHoldsUpNoRunAndLosesNoLine) {
  TempDir folder;
  std::promise<void> disk_answers;
  const auto writer = std::make_shared<RecordsWriter>();
  // The disk, as the writer meets it.
  writer->Hand([answered = disk_answers.get_future().share()] { answered.wait(); });
  Recorder recorder(folder.Path(), {}, MonotonicClock(), writer);
  const std::shared_ptr<RunRecording> recording = recorder.Start("1");

  std::future<Ended> run = std::async(std::launch::async, [&] { return WholeRun(*recording, &recording->Log()); });
  const bool ended_while_blocked = run.wait_for(kWriterLimit) == std::future_status::ready;
  const bool nothing_on_disk = std::filesystem::is_empty(folder.Path());
  disk_answers.set_value();
  ASSERT_TRUE(ended_while_blocked) << "the run waited for the disk";
  const Ended recorded = run.get();
  EXPECT_TRUE(nothing_on_disk);
  EXPECT_TRUE(recorded == WholeRun(NoObserver(), nullptr));

  ASSERT_TRUE(recorder.WaitUntilWritten(kWriterLimit));
  const std::vector<Json> records = Records(folder.Path());
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0]["outcome"], "installed");
  EXPECT_EQ(records[0]["log_file_complete"], true);
  EXPECT_EQ(TempDir::Read(folder.File(records[0]["log_file"])), Cp1251ToUtf8(recorded.log));
}

}  // namespace
}  // namespace zelt20::test
