#include "ui/worker_link.h"

#include <string>

#include "ui/main_dialog.h"

namespace zelt20 {

// Texts are copied into the request and answers kept in shared storage:
// the worker stops waiting when the window closes, and a request already
// running then (a box being answered) must not reach into its stack.

void WorkerLink::AppendLog(const char* text) {
  if (CarryOut([text = std::string(text)](MainDialog& dialog) { dialog.AppendLog(text.c_str()); })) {
    return;
  }
  std::shared_ptr<LogSink> log;
  {
    std::lock_guard lock(mutex_);
    log = log_after_detach_;
  }
  if (log) log->AppendLog(text);
}

void WorkerLink::SetProgressPosition(std::int32_t position) {
  CarryOut([position](MainDialog& dialog) { dialog.SetProgressPosition(position); });
}

bool WorkerLink::AskConfirmation(const char* text, const char* caption) {
  auto confirmed = std::make_shared<bool>(false);
  const bool answered = CarryOut([confirmed, text = std::string(text),
                                  caption = std::string(caption)](MainDialog& dialog) {
    *confirmed = dialog.AskConfirmation(text.c_str(), caption.c_str());
  });
  return answered && *confirmed;
}

void WorkerLink::FinishRun() {
  CarryOut([](MainDialog& dialog) { dialog.FinishRun(); });
}

void WorkerLink::Attach(MainDialog& dialog) {
  std::lock_guard lock(mutex_);
  dialog_ = &dialog;
}

void WorkerLink::Detach() {
  {
    std::lock_guard lock(mutex_);
    dialog_ = nullptr;
  }
  changed_.notify_all();
}

void WorkerLink::KeepLogAfterDetach(std::shared_ptr<LogSink> log) {
  std::lock_guard lock(mutex_);
  log_after_detach_ = std::move(log);
}

void WorkerLink::WorkerStarting() {
  std::lock_guard lock(mutex_);
  worker_running_ = true;
}

void WorkerLink::WorkerEnded() {
  {
    std::lock_guard lock(mutex_);
    worker_running_ = false;
  }
  changed_.notify_all();
}

bool WorkerLink::WaitForWorkerEnd(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return !worker_running_; });
}

bool WorkerLink::Attached() { return AttachedDialog() != nullptr; }

MainDialog* WorkerLink::AttachedDialog() {
  std::lock_guard lock(mutex_);
  return dialog_;
}

bool WorkerLink::RunArrived(const Request& request) {
  MainDialog* dialog = AttachedDialog();
  if (dialog == nullptr) return false;
  request(*dialog);
  return true;
}

bool WorkerLink::PostAndWait(const std::function<void(std::function<void()> job)>& post,
                             Request request) {
  auto done = std::make_shared<bool>(false);  // guarded by mutex_
  std::unique_lock lock(mutex_);
  if (dialog_ == nullptr) return false;
  // Handed over while attached, under the lock that Detach takes, so the
  // window is still there. A window that drops the job unrun has detached
  // before, which also ends the wait. The job holds the link weakly: a job
  // left in a queue that the link or the window owns must not keep them
  // alive, and while a worker waits for it the worker owns the link.
  post([link = weak_from_this(), done, request = std::move(request)] {
    const std::shared_ptr<WorkerLink> self = link.lock();
    if (self == nullptr || !self->RunArrived(request)) return;
    {
      std::lock_guard done_lock(self->mutex_);
      *done = true;
    }
    self->changed_.notify_all();
  });
  changed_.wait(lock, [this, &done] { return *done || dialog_ == nullptr; });
  return *done;
}

}  // namespace zelt20
