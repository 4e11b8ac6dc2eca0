// The run context the worker thread holds. Each request is carried over to
// the window thread and the worker waits until the window has carried it
// out. Both threads own the bridge, so it outlives whichever lets go last.
//
// Once the window is closing, the bridge lets go of it: requests then return
// at once without touching it (a confirmation counts as Cancel), so a window
// waiting for its worker can never deadlock with a worker waiting for the
// window, and a worker left running never reaches a window that is gone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "core/run_context.h"

namespace zelt20 {

class StanloadDialog;

class RunContextBridge final : public RunContext,
                               public std::enable_shared_from_this<RunContextBridge> {
 public:
  // Window thread.
  explicit RunContextBridge(StanloadDialog& dialog) : dialog_(&dialog) {}

  // Worker thread: the run context.
  void AppendLog(const char* text) override;
  void SetProgressPosition(std::int32_t position) override;
  bool AskConfirmation(const char* text, const char* caption) override;
  void FinishRun() override;

  // Window thread, when the window starts closing: from now on requests
  // return at once, and a worker waiting on one goes on.
  void Detach();

  // The life of the worker thread: the window marks it starting (and ended
  // again if the thread could not be created); the worker marks its end as
  // the last thing it does.
  void WorkerStarting();
  void WorkerEnded();
  // Window thread: true when no worker runs, or it ended within the limit.
  bool WaitForWorkerEnd(std::chrono::milliseconds limit);

 private:
  // Runs the request on the window thread and waits until it has run.
  // False, with the request not run, when the window is closing or gone.
  bool CarryOut(std::function<void(StanloadDialog&)> request);
  StanloadDialog* AttachedDialog();

  std::mutex mutex_;
  std::condition_variable changed_;
  StanloadDialog* dialog_;  // null once the window is closing
  bool worker_running_ = false;
};

}  // namespace zelt20
