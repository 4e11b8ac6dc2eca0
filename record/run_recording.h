// What one run leaves in the records folder: its log file, written as the
// run goes, and its installation record, appended when the run ends, or by
// the window that closes while the run still goes, whichever comes first:
// exactly one record a run. Nothing here changes the run: a folder that
// cannot be made or written, a full disk or a locked file only leave the
// problem to be told.
#pragma once

#include <condition_variable>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "record/install_record.h"
#include "record/log_file.h"
#include "record/run_trace.h"

namespace zelt20 {

class RunRecording final : public RunTrace {
 public:
  // The run starts now: the folder is made when missing and the log file
  // created, named from this moment and the port text.
  RunRecording(std::filesystem::path folder, RecordFacts facts, std::string_view port_text,
               Clock& clock = MonotonicClock(),
               WallClock wall_clock = [] { return std::chrono::system_clock::now(); });

  // The run's log file; appends go nowhere when there is none.
  LogSink& Log();

  // The window closed while the run still went: the record of what was
  // known by then, unless the run's end keeps it. Returns once the one
  // record is written (or could not be), so the process may end.
  void KeepRecordOfAbandonedRun();

  // Why no record, or no whole log file, was kept; none when both were.
  // Complete once the record is kept; asked on the thread that appends the
  // log, or once the run has ended.
  std::optional<std::string> Problem() const;

  // RunObserver
  void PortNamed(const ComPort& port, const ComDevice& device) override;
  void RunEnded(RunEnd end) override;

 private:
  class NoLog final : public LogSink {
   public:
    void AppendLog(const char*) override {}
  };
  enum class Keeping { kNotYet, kUnderWay, kDone };

  void KeepRecord();

  std::filesystem::path folder_;
  RecordFacts facts_;
  WallClock wall_clock_;
  std::optional<LogFile> log_file_;
  NoLog no_log_;
  std::optional<std::string> folder_problem_;  // the folder could not be made
  std::optional<std::string> log_problem_;     // the log file could not be created

  mutable std::mutex mutex_;
  std::condition_variable kept_;
  Keeping keeping_ = Keeping::kNotYet;
  std::optional<UsbIdentity> usb_;
  std::optional<std::string> record_problem_;
};

// Starts the recording of a run of a front end, given the run's port text.
using RunRecorder = std::function<std::shared_ptr<RunRecording>(std::string_view port_text)>;

// Every run recorded in the folder; runs take their length from the clock.
RunRecorder RecordIn(std::filesystem::path folder, RecordFacts facts, Clock& clock = MonotonicClock());

}  // namespace zelt20
