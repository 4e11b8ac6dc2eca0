#include "ui/qt/run_context_bridge.h"

#include <QMetaObject>
#include <string>

#include "ui/qt/stanload_dialog.h"

namespace zelt20 {

// Texts are copied into the request and answers kept in shared storage:
// the worker stops waiting when the window closes, and a request already
// running then (a box being answered) must not reach into its stack.

void RunContextBridge::AppendLog(const char* text) {
  CarryOut([text = std::string(text)](StanloadDialog& dialog) { dialog.AppendLog(text.c_str()); });
}

void RunContextBridge::SetProgressPosition(std::int32_t position) {
  CarryOut([position](StanloadDialog& dialog) { dialog.SetProgressPosition(position); });
}

bool RunContextBridge::AskConfirmation(const char* text, const char* caption) {
  auto confirmed = std::make_shared<bool>(false);
  const bool answered = CarryOut([confirmed, text = std::string(text),
                                  caption = std::string(caption)](StanloadDialog& dialog) {
    *confirmed = dialog.AskConfirmation(text.c_str(), caption.c_str());
  });
  return answered && *confirmed;
}

void RunContextBridge::FinishRun() {
  CarryOut([](StanloadDialog& dialog) { dialog.FinishRun(); });
}

void RunContextBridge::Detach() {
  {
    std::lock_guard lock(mutex_);
    dialog_ = nullptr;
  }
  changed_.notify_all();
}

void RunContextBridge::WorkerStarting() {
  std::lock_guard lock(mutex_);
  worker_running_ = true;
}

void RunContextBridge::WorkerEnded() {
  {
    std::lock_guard lock(mutex_);
    worker_running_ = false;
  }
  changed_.notify_all();
}

bool RunContextBridge::WaitForWorkerEnd(std::chrono::milliseconds limit) {
  std::unique_lock lock(mutex_);
  return changed_.wait_for(lock, limit, [this] { return !worker_running_; });
}

StanloadDialog* RunContextBridge::AttachedDialog() {
  std::lock_guard lock(mutex_);
  return dialog_;
}

bool RunContextBridge::CarryOut(std::function<void(StanloadDialog&)> request) {
  auto done = std::make_shared<bool>(false);  // guarded by mutex_
  std::unique_lock lock(mutex_);
  if (dialog_ == nullptr) return false;
  // Posted while attached, under the lock that Detach takes, so the window
  // is still there. Qt drops the call if the window is deleted before it
  // runs; the window detaches before that, which also releases the wait.
  QMetaObject::invokeMethod(
      dialog_,
      [self = shared_from_this(), done, request = std::move(request)] {
        StanloadDialog* dialog = self->AttachedDialog();
        if (dialog == nullptr) return;
        request(*dialog);
        {
          std::lock_guard done_lock(self->mutex_);
          *done = true;
        }
        self->changed_.notify_all();
      },
      Qt::QueuedConnection);
  changed_.wait(lock, [this, &done] { return *done || dialog_ == nullptr; });
  return *done;
}

}  // namespace zelt20
