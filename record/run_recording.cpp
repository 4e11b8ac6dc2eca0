#include "record/run_recording.h"

#include <system_error>
#include <utility>

#include "record/log_file.h"
#include "record/records_file.h"

namespace zelt20 {

// The writer's side of one run. The folder, the log file and the USB
// identity are touched only by the writer's jobs, one at a time; the log
// text waiting for the writer, the log file's name and what went wrong are
// shared with the run's and the window's threads, under the mutex.
class RunRecording::Files {
 public:
  explicit Files(std::filesystem::path folder) : folder_(std::move(folder)) {}

  // Writer's thread: the folder made when missing, the log file created.
  void Open(const LocalTime& started, const std::string& port_text) {
    std::error_code error;
    std::filesystem::create_directories(folder_, error);
    if (error) {
      Note(folder_problem_, "cannot make the folder " + PathText(folder_) + ": " + error.message());
      return;
    }
    Checked<LogFile> log_file = LogFile::Create(folder_, started, port_text);
    if (!log_file) {
      Note(log_problem_, log_file.Reason());
      return;
    }
    log_file_.emplace(std::move(*log_file));
    std::lock_guard lock(mutex_);
    log_name_ = log_file_->Name();
  }

  // Any thread: true when the writer must be handed a job to write it;
  // otherwise one is on its way and takes this text along.
  bool Append(const char* text) {
    std::lock_guard lock(mutex_);
    pending_ += text;
    return !std::exchange(write_handed_, true);
  }

  // Writer's thread: all the text appended so far, in one write.
  void WritePending() {
    std::string text;
    {
      std::lock_guard lock(mutex_);
      text = std::move(pending_);
      pending_.clear();
      write_handed_ = false;
    }
    if (!log_file_) return;
    log_file_->AppendLog(text.c_str());
    if (log_file_->Problem()) Note(lines_problem_, *log_file_->Problem());
  }

  void LookUpUsb(const RecordFacts& facts, const std::string& device) {
    if (facts.usb_identity) usb_ = facts.usb_identity(device);
  }

  // Writer's thread, after every line the run logged before its record.
  void KeepRecord(RunSnapshot run, const RecordFacts& facts, WallTime recorded) {
    {
      std::lock_guard lock(mutex_);
      if (folder_problem_) {
        record_problem_ = folder_problem_;
        return;
      }
    }
    run.log_file = LogName();
    const bool log_complete = log_file_ && !log_file_->Problem() && run.end.has_value();
    const Checked<KeptRecord> kept = KeepRecordLine(
        folder_, RecordLine(run, facts, {usb_, recorded, log_complete}), run.run_id);
    if (!kept) {
      Note(record_problem_, kept.Reason());
    } else if (!kept->why_aside.empty()) {
      Note(aside_, PathText(kept->file.filename()) + ": " + kept->why_aside);
    }
  }

  std::string LogName() const {
    std::lock_guard lock(mutex_);
    return log_name_;
  }

  std::optional<std::string> Problem() const {
    std::lock_guard lock(mutex_);
    if (record_problem_) return "no record was kept: " + *record_problem_;
    if (log_problem_) return "no log file was kept: " + *log_problem_;
    if (lines_problem_) return "the log file misses lines: " + *lines_problem_;
    if (aside_) return "the record was kept in " + *aside_;
    return std::nullopt;
  }

 private:
  void Note(std::optional<std::string>& problem, std::string text) {
    std::lock_guard lock(mutex_);
    problem = std::move(text);
  }

  const std::filesystem::path folder_;
  std::optional<LogFile> log_file_;
  std::optional<UsbIdentity> usb_;

  mutable std::mutex mutex_;
  std::string log_name_;
  std::string pending_;  // Windows-1251, as appended
  bool write_handed_ = false;
  std::optional<std::string> folder_problem_;  // the folder could not be made
  std::optional<std::string> log_problem_;     // the log file could not be created
  std::optional<std::string> lines_problem_;   // a write to it failed
  std::optional<std::string> record_problem_;
  std::optional<std::string> aside_;           // the side file that took the record, and why
};

RunRecording::RunRecording(std::shared_ptr<RecordsWriter> writer, std::filesystem::path folder,
                           RecordFacts facts, std::string_view port_text, Clock& clock,
                           WallClock wall_clock)
    : RunTrace(clock, wall_clock),
      writer_(std::move(writer)),
      facts_(std::move(facts)),
      wall_clock_(std::move(wall_clock)),
      files_(std::make_shared<Files>(std::move(folder))) {
  writer_->Hand([files = files_, started = LocalTimeOf(RunTrace::Snapshot().started),
                 port_text = std::string(port_text)] { files->Open(started, port_text); });
}

RunSnapshot RunRecording::Snapshot() const {
  RunSnapshot snapshot = RunTrace::Snapshot();
  snapshot.log_file = files_->LogName();
  return snapshot;
}

void RunRecording::LogToWriter::AppendLog(const char* text) {
  RunRecording& r = recording_;
  if (r.files_->Append(text)) r.writer_->Hand([files = r.files_] { files->WritePending(); });
}

std::optional<std::string> RunRecording::Problem() const { return files_->Problem(); }

void RunRecording::PortNamed(const ComPort& port, const ComDevice& device) {
  RunTrace::PortNamed(port, device);
  writer_->Hand([files = files_, facts = facts_, device = device.device] {
    files->LookUpUsb(facts, device);
  });
}

void RunRecording::RunEnded(RunEnd end) {
  RunTrace::RunEnded(end);
  KeepRecord();
}

void RunRecording::KeepRecordOfAbandonedRun() { KeepRecord(); }

// Whoever comes first hands the record over; the other finds it handed.
void RunRecording::KeepRecord() {
  if (record_handed_.exchange(true)) return;
  writer_->Hand([files = files_, run = RunTrace::Snapshot(), facts = facts_,
                 recorded = wall_clock_(), kept = on_kept_] {
    files->KeepRecord(run, facts, recorded);
    for (const std::function<void()>& told : kept) told();
  });
}

Recorder::Recorder(std::filesystem::path folder, RecordFacts facts, Clock& clock,
                   std::shared_ptr<RecordsWriter> writer)
    : folder_(std::move(folder)), facts_(std::move(facts)), clock_(clock), writer_(std::move(writer)) {}

std::shared_ptr<RunRecording> Recorder::Start(std::string_view port_text) {
  auto recording = std::make_shared<RunRecording>(writer_, folder_, facts_, port_text, clock_);
  if (on_every_record_kept_) recording->OnKept(on_every_record_kept_);
  std::lock_guard lock(mutex_);
  started_.push_back(recording);
  return recording;
}

bool Recorder::WaitUntilWritten(std::chrono::milliseconds limit) { return writer_->WaitUntilDone(limit); }

void Recorder::KeepRecordsBy(std::chrono::steady_clock::time_point deadline) {
  // Kept back for writing the records of the runs that are still going.
  constexpr std::chrono::milliseconds kForWriting{1000};
  std::vector<std::shared_ptr<RunRecording>> runs;
  {
    std::lock_guard lock(mutex_);
    for (const std::weak_ptr<RunRecording>& started : started_) {
      if (std::shared_ptr<RunRecording> run = started.lock()) runs.push_back(std::move(run));
    }
  }
  for (const std::shared_ptr<RunRecording>& run : runs) run->WaitForEnd(deadline - kForWriting);
  for (const std::shared_ptr<RunRecording>& run : runs) run->KeepRecordOfAbandonedRun();
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      deadline - std::chrono::steady_clock::now());
  WaitUntilWritten(std::max(left, std::chrono::milliseconds(0)));
}

}  // namespace zelt20
