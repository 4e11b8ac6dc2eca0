// What one run leaves in the records folder: its log file, written as the
// run goes, and its installation record, kept when the run ends, or when
// the program must end while the run still goes (a window closing under
// it, a console closing), whichever comes first: exactly one record a run.
// The run and the window only hand things over; the records writer does
// the folder's work on its own thread, so nothing here waits for the disk
// and nothing changes the run: a folder that cannot be made or written, a
// full disk or a locked file only leave the problem to be told.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "record/install_record.h"
#include "record/records_writer.h"
#include "record/run_trace.h"

namespace zelt20 {

class RunRecording final : public RunTrace {
 public:
  // The run starts now: the writer makes the folder when missing and
  // creates the log file, named from this moment and the port text.
  RunRecording(std::shared_ptr<RecordsWriter> writer, std::filesystem::path folder,
               RecordFacts facts, std::string_view port_text, Clock& clock = MonotonicClock(),
               WallClock wall_clock = [] { return std::chrono::system_clock::now(); });

  // The run's log file: every append goes to the writer, and reaches the
  // file in order.
  LogSink& Log() { return log_; }

  // The program ends while the run still goes: its record is handed to the
  // writer now, with what is known, unless it already was.
  void KeepRecordOfAbandonedRun();

  // Added before the run starts: called on the writer's thread once the
  // record is kept, or could not be.
  void OnKept(std::function<void()> kept) { on_kept_.push_back(std::move(kept)); }

  // Why no record, or no whole log file, was kept, or where the record
  // went instead of installations.jsonl; none when all went as it should.
  // Complete once the record is kept.
  std::optional<std::string> Problem() const;

  // The trace's, with the log file's name once the writer has created it.
  RunSnapshot Snapshot() const override;

  // RunObserver
  void PortNamed(const ComPort& port, const ComDevice& device) override;
  void RunEnded(RunEnd end) override;

 private:
  class Files;
  class LogToWriter final : public LogSink {
   public:
    explicit LogToWriter(RunRecording& recording) : recording_(recording) {}
    void AppendLog(const char* text) override;

   private:
    RunRecording& recording_;
  };

  void KeepRecord();

  std::shared_ptr<RecordsWriter> writer_;
  RecordFacts facts_;
  WallClock wall_clock_;
  std::shared_ptr<Files> files_;  // the writer's side, shared with its jobs
  LogToWriter log_{*this};
  std::atomic<bool> record_handed_{false};
  std::vector<std::function<void()>> on_kept_;
};

// The records of a front end's runs, all kept by one writer.
class Recorder {
 public:
  // How long closing the program waits for the writer.
  static constexpr std::chrono::seconds kCloseWait{3};

  // Runs take their length from the clock; a test may hand its own writer.
  Recorder(std::filesystem::path folder, RecordFacts facts, Clock& clock = MonotonicClock(),
           std::shared_ptr<RecordsWriter> writer = std::make_shared<RecordsWriter>());

  const std::filesystem::path& Folder() const { return folder_; }

  // Set before any run starts: called on the writer's thread after each
  // run's record is kept, or could not be.
  void OnEveryRecordKept(std::function<void()> kept) { on_every_record_kept_ = std::move(kept); }

  // The recording of a run that starts now with this port text.
  std::shared_ptr<RunRecording> Start(std::string_view port_text);

  // Waits until everything handed to the writer so far is on the disk, at
  // most `limit`; true when it is.
  bool WaitUntilWritten(std::chrono::milliseconds limit);

  // The program must end by `deadline`: every run started here gets until
  // a moment before it to end; a run still going then has its record kept
  // with what is known. Returns once every record is written, or at the
  // deadline.
  void KeepRecordsBy(std::chrono::steady_clock::time_point deadline);

 private:
  std::filesystem::path folder_;
  RecordFacts facts_;
  Clock& clock_;
  std::shared_ptr<RecordsWriter> writer_;
  std::function<void()> on_every_record_kept_;
  std::mutex mutex_;
  std::vector<std::weak_ptr<RunRecording>> started_;
};

}  // namespace zelt20
