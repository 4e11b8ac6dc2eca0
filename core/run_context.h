// The run context: the face of the main window that the installation worker
// sees. The window (Qt dialog, console front end, or a test) implements it;
// every request takes effect before the call returns to the worker.
#pragma once

#include <atomic>
#include <cstdint>

namespace zelt20 {

// Receives every log line; the run context is one, and so are test recorders.
class LogSink {
 public:
  virtual ~LogSink() = default;
  virtual void AppendLog(const char* text) = 0;
};

// The three run flags shared by the window thread and the worker. Each has
// one writer at a time; the other side only polls, so lock-free atomic bytes
// are all the sharing needs.
struct RunFlags {
  // A run that had opened the port has ended (written by the worker).
  std::atomic<bool> finished{false};
  // No run of this window has opened the port yet (worker and Start).
  std::atomic<bool> port_may_retry{true};
  // The operator pressed Stop during a run (window thread).
  std::atomic<bool> stop_requested{false};

  void Reset() {
    port_may_retry = true;
    finished = false;
    stop_requested = false;
  }
};
static_assert(std::atomic<bool>::is_always_lock_free);
static_assert(sizeof(std::atomic<bool>) == 1);

class RunContext : public LogSink {
 public:
  // Moves the progress bar (range 0..100; other values are passed on as
  // they are and a bar shows them clamped).
  virtual void SetProgressPosition(std::int32_t position) = 0;
  // A modal OK/Cancel box with the warning icon; true only for OK.
  virtual bool AskConfirmation(const char* text, const char* caption) = 0;
  // The end-of-run routine; the worker's last action at either end of a run.
  virtual void FinishRun() = 0;

  RunFlags& Flags() { return flags_; }
  const RunFlags& Flags() const { return flags_; }
  bool StopRequested() const { return flags_.stop_requested; }

 private:
  RunFlags flags_;
};

}  // namespace zelt20
