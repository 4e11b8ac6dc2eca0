// The run context that the worker thread holds. Each request is carried
// over to the window thread and carried out there by the main dialog; the
// worker goes on only once it has been. How a request crosses the threads
// is the window's own (a queued call, a window message). Both threads own
// the link, so it outlives whichever lets go last.
//
// Once the window is closing, the link lets go of the dialog: requests then
// return at once without touching it (a confirmation counts as Cancel), so
// a window waiting for its worker never deadlocks with a worker waiting for
// the window, and a worker left running never reaches a window that is gone.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

#include "core/run_context.h"

namespace zelt20 {

class MainDialog;

class WorkerLink : public RunContext, public std::enable_shared_from_this<WorkerLink> {
 public:
  using Request = std::function<void(MainDialog&)>;

  // Worker thread: the run context.
  void AppendLog(const char* text) final;
  void SetProgressPosition(std::int32_t position) final;
  bool AskConfirmation(const char* text, const char* caption) final;
  void FinishRun() final;

  // Window thread: the dialog that requests reach, from its creation until
  // it starts closing.
  void Attach(MainDialog& dialog);
  void Detach();
  // Window thread, before a worker starts: where that worker's log lines go
  // once the window has let go of it (the run's log file, which keeps them
  // while the pane is gone); none: nowhere.
  void KeepLogAfterDetach(std::shared_ptr<LogSink> log);

  // The life of the worker thread: the window marks it starting (and ended
  // again if no thread could be started); the worker marks its end as the
  // last thing it does.
  virtual void WorkerStarting();
  virtual void WorkerEnded();
  // Window thread: true when no worker runs, or it ended within the limit.
  virtual bool WaitForWorkerEnd(std::chrono::milliseconds limit);

  // Any thread but the window's: a request that is not the worker's (the
  // records writer's word that a record is kept) carried out on the window
  // thread as the worker's are; false when the window has let go.
  bool CarryOutOnWindowThread(Request request) { return CarryOut(std::move(request)); }

 protected:
  // Has the request carried out on the window thread and returns true once
  // it has been; false, with the request not carried out, when the window
  // has let go of the dialog.
  virtual bool CarryOut(Request request) = 0;

  // Window thread, when a request has come over: carries it out unless the
  // window has let go meanwhile; true when it was carried out.
  bool RunArrived(const Request& request);

  // CarryOut for windows that queue a job for their thread: `post` hands
  // the job over; the worker waits until it has run or the window lets go.
  bool PostAndWait(const std::function<void(std::function<void()> job)>& post, Request request);

  bool Attached();

 private:
  MainDialog* AttachedDialog();

  std::mutex mutex_;
  std::condition_variable changed_;
  MainDialog* dialog_ = nullptr;  // null before Attach and once closing
  std::shared_ptr<LogSink> log_after_detach_;
  bool worker_running_ = false;
};

}  // namespace zelt20
