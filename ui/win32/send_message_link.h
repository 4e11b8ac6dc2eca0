// How the worker's requests reach the Win32 dialog: each one is sent to the
// dialog as a window message, which Windows carries out on the window
// thread before SendMessage returns to the worker.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>

#include "ui/worker_link.h"

namespace zelt20 {

class SendMessageLink final : public WorkerLink {
 public:
  // The message that carries a request to the dialog.
  static constexpr UINT kRequestMessage = WM_APP + 1;

  SendMessageLink();
  ~SendMessageLink() override;
  SendMessageLink(const SendMessageLink&) = delete;
  SendMessageLink& operator=(const SendMessageLink&) = delete;

  // Window thread: the dialog, once its window exists.
  void SetWindow(HWND window) { window_ = window; }
  // Window thread: carries out the request that kRequestMessage brought;
  // the message's result.
  LRESULT OnRequestMessage(LPARAM request);

  void WorkerStarting() override;
  void WorkerEnded() override;
  // While it waits, the window thread still takes the requests sent to the
  // dialog; they return at once, since the dialog has let go by then.
  bool WaitForWorkerEnd(std::chrono::milliseconds limit) override;

 protected:
  bool CarryOut(Request request) override;

 private:
  std::atomic<HWND> window_{nullptr};
  // Signalled while no worker runs.
  HANDLE no_worker_;
};

}  // namespace zelt20
