// The signals that ask a POSIX program to end: SIGINT (Ctrl-C), SIGTERM
// (a shutdown, a logout, kill) and SIGHUP (the terminal closed). While a
// watch lives none of them ends the program: each is handed to the watch's
// own thread, never run in the signal handler, so that the program stops
// its runs as Stop does and keeps their records.
#pragma once

#include <functional>
#include <memory>

#include "core/stop_cause.h"

namespace zelt20 {

class EndSignalWatch {
 public:
  // `count`: the signals so far, this one included.
  using OnSignal = std::function<void(StopCause cause, int count)>;

  // One watch at a time.
  explicit EndSignalWatch(OnSignal on_signal);
  EndSignalWatch(const EndSignalWatch&) = delete;
  EndSignalWatch& operator=(const EndSignalWatch&) = delete;
  // The signals' earlier actions come back.
  ~EndSignalWatch();

 private:
  struct Watch;
  std::unique_ptr<Watch> watch_;
};

// From now on a write to a closed pipe or socket fails instead of ending
// the program (SIGPIPE ignored): a reader that went away must not end a
// run.
void IgnoreBrokenPipes();

}  // namespace zelt20
