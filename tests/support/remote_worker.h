// A worker thread whose run is a series of steps that the test hands over
// one by one, for the window tests of every toolkit. Each step runs on the
// worker thread against the window's run context, as the installation
// would; while the test waits for a step, it serves its window the way that
// window's thread does.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "core/run_context.h"
#include "ui/main_dialog.h"

namespace zelt20::test {

class RemoteWorker : public std::enable_shared_from_this<RemoteWorker> {
 public:
  using Step = std::function<void(RunContext& run)>;
  // Serves the window until the condition holds; false after a generous
  // bound, so that a fault fails the test instead of hanging it.
  using ServeWindowUntil = std::function<bool(const std::function<bool()>& condition)>;

  explicit RemoteWorker(ServeWindowUntil serve_window_until)
      : serve_window_until_(std::move(serve_window_until)) {}

  // The window's run worker; the window starts one run of it per Start.
  RunWorker Worker();

  // Hands a step to the run and serves the window until it has run.
  bool Do(Step step);
  // The same for the run's last step; the worker returns after it.
  bool Finish(Step last_step);
  // Hands a step over without serving the window (the test has the window
  // to work meanwhile; a later Do waits for it too).
  void PostStep(Step step);
  // The same for the last step (the test is about to close the window).
  void PostFinish(Step last_step);
  // Serves the window until the run has taken its last step.
  bool WaitUntilEnded();
  // Serves the window until a run has started.
  bool WaitUntilRunning();

  // The port text each run was given, in order (Windows-1251).
  std::vector<std::string> PortTexts() const;
  // The observer the window handed the run in progress, for its steps.
  RunObserver& Observer() const;
  bool Running() const;

 private:
  struct Entry {
    Step step;
    bool last;
  };
  void Serve(RunContext& run, const char* port_text, RunObserver& observer);
  std::size_t Post(Step step, bool last);

  ServeWindowUntil serve_window_until_;
  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Entry> steps_;
  std::size_t steps_posted_ = 0;
  std::size_t steps_done_ = 0;
  bool running_ = false;
  std::vector<std::string> port_texts_;
  RunObserver* observer_ = &NoObserver();
};

// Serving for windows whose own thread serves them: waits until the
// condition holds; false after a generous bound.
bool WaitUntil(const std::function<bool()>& condition);

// Steps of a run as the installation takes them.
namespace steps {
// The port could not be opened: an error report, then the early end.
RemoteWorker::Step OpenFails();
// The port is open: the run has reached the station.
RemoteWorker::Step PortOpened();
// The closing end of a run that opened the port.
RemoteWorker::Step ClosingEnd();
RemoteWorker::Step Log(std::string cp1251_text);
}  // namespace steps

}  // namespace zelt20::test
