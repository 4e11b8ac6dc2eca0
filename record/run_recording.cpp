#include "record/run_recording.h"

#include <system_error>
#include <utility>

#include "record/records_file.h"

namespace zelt20 {

RunRecording::RunRecording(std::filesystem::path folder, RecordFacts facts,
                           std::string_view port_text, Clock& clock, WallClock wall_clock)
    : RunTrace(clock, wall_clock), folder_(std::move(folder)), facts_(std::move(facts)),
      wall_clock_(std::move(wall_clock)) {
  std::error_code error;
  std::filesystem::create_directories(folder_, error);
  if (error) {
    folder_problem_ = "cannot make the folder " + PathText(folder_) + ": " + error.message();
    return;
  }
  Checked<LogFile> log_file = LogFile::Create(folder_, LocalTimeOf(Snapshot().started), port_text);
  if (!log_file) {
    log_problem_ = log_file.Reason();
    return;
  }
  log_file_.emplace(std::move(*log_file));
  SetLogFile(log_file_->Name());
}

LogSink& RunRecording::Log() {
  if (log_file_) return *log_file_;
  return no_log_;
}

std::optional<std::string> RunRecording::Problem() const {
  std::lock_guard lock(mutex_);
  if (record_problem_) return "no record was kept: " + *record_problem_;
  if (folder_problem_) return "no record was kept: " + *folder_problem_;
  if (log_problem_) return "no log file was kept: " + *log_problem_;
  if (log_file_ && log_file_->Problem()) return "the log file misses lines: " + *log_file_->Problem();
  return std::nullopt;
}

void RunRecording::PortNamed(const ComPort& port, const ComDevice& device) {
  RunTrace::PortNamed(port, device);
  if (!facts_.usb_identity) return;
  std::optional<UsbIdentity> usb = facts_.usb_identity(device.device);
  std::lock_guard lock(mutex_);
  usb_ = std::move(usb);
}

void RunRecording::RunEnded(RunEnd end) {
  RunTrace::RunEnded(end);
  KeepRecord();
}

void RunRecording::KeepRecordOfAbandonedRun() {
  KeepRecord();
  std::unique_lock lock(mutex_);
  kept_.wait(lock, [this] { return keeping_ == Keeping::kDone; });
}

// Whoever comes first keeps the record; the other finds it under way.
void RunRecording::KeepRecord() {
  std::optional<UsbIdentity> usb;
  {
    std::lock_guard lock(mutex_);
    if (keeping_ != Keeping::kNotYet) return;
    keeping_ = Keeping::kUnderWay;
    usb = usb_;
  }
  const Checked<> appended =
      folder_problem_ ? Checked<>(Refusal{*folder_problem_})
                      : AppendRecord(folder_ / kRecordsFileName,
                                     RecordLine(Snapshot(), facts_, usb, wall_clock_()));
  {
    std::lock_guard lock(mutex_);
    if (!appended) record_problem_ = appended.Reason();
    keeping_ = Keeping::kDone;
  }
  kept_.notify_all();
}

RunRecorder RecordIn(std::filesystem::path folder, RecordFacts facts, Clock& clock) {
  return [folder = std::move(folder), facts = std::move(facts), &clock](std::string_view port_text) {
    return std::make_shared<RunRecording>(folder, facts, port_text, clock);
  };
}

}  // namespace zelt20
