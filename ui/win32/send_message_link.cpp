#include "ui/win32/send_message_link.h"

namespace zelt20 {

SendMessageLink::SendMessageLink() : no_worker_(CreateEventW(nullptr, TRUE, TRUE, nullptr)) {}

SendMessageLink::~SendMessageLink() {
  if (no_worker_ != nullptr) CloseHandle(no_worker_);
}

bool SendMessageLink::CarryOut(Request request) {
  const HWND window = window_;
  if (window == nullptr || !Attached()) return false;
  // A window destroyed meanwhile makes SendMessage return 0 at once.
  return SendMessageW(window, kRequestMessage, 0, reinterpret_cast<LPARAM>(&request)) == TRUE;
}

LRESULT SendMessageLink::OnRequestMessage(LPARAM request) {
  return RunArrived(*reinterpret_cast<const Request*>(request)) ? TRUE : FALSE;
}

void SendMessageLink::WorkerStarting() {
  WorkerLink::WorkerStarting();
  ResetEvent(no_worker_);
}

void SendMessageLink::WorkerEnded() {
  WorkerLink::WorkerEnded();
  SetEvent(no_worker_);
}

bool SendMessageLink::WaitForWorkerEnd(std::chrono::milliseconds limit) {
  const ULONGLONG start = GetTickCount64();
  const auto limit_ms = static_cast<ULONGLONG>(limit.count());
  for (;;) {
    MSG sent;
    PeekMessageW(&sent, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);
    const ULONGLONG elapsed = GetTickCount64() - start;
    const auto remaining = static_cast<DWORD>(elapsed >= limit_ms ? 0 : limit_ms - elapsed);
    const DWORD woken = MsgWaitForMultipleObjectsEx(1, &no_worker_, remaining, QS_SENDMESSAGE,
                                                    MWMO_INPUTAVAILABLE);
    if (woken == WAIT_OBJECT_0) return true;
    if (woken != WAIT_OBJECT_0 + 1 || elapsed >= limit_ms) return false;
  }
}

}  // namespace zelt20
