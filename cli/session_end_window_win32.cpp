#include "cli/session_end_window.h"

#include <windows.h>

#include <future>
#include <system_error>
#include <utility>

namespace zelt20 {
namespace {

// The name another program finds the window by.
constexpr wchar_t kClassName[] = L"zelt20-install session end";

LRESULT CALLBACK SessionWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_NCCREATE:
      SetWindowLongPtrW(window, GWLP_USERDATA,
                        reinterpret_cast<LONG_PTR>(
                            reinterpret_cast<const CREATESTRUCTW*>(lparam)->lpCreateParams));
      break;
    case WM_QUERYENDSESSION:
      return TRUE;  // the runs stop once the session does end
    case WM_ENDSESSION:
      if (wparam == TRUE) {
        (*reinterpret_cast<std::function<void()>*>(GetWindowLongPtrW(window, GWLP_USERDATA)))();
      }
      return 0;
    case WM_CLOSE:
      return 0;  // it goes with the watch, not before
    default:
      break;
  }
  return DefWindowProcW(window, message, wparam, lparam);
}

// The window's thread: tells `started` its id once the window exists (0
// when it cannot be made), serves the window until told to quit, then
// destroys it.
void ServeWindow(std::function<void()>* on_end, std::promise<DWORD>* started) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = SessionWindowProc;
  window_class.hInstance = instance;
  window_class.lpszClassName = kClassName;
  const bool registered = RegisterClassExW(&window_class) != 0;
  const HWND window =
      registered ? CreateWindowExW(0, kClassName, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                                   instance, on_end)
                 : nullptr;
  started->set_value(window != nullptr ? GetCurrentThreadId() : 0);
  if (window != nullptr) {
    MSG message;
    while (GetMessageW(&message, nullptr, 0, 0) > 0) DispatchMessageW(&message);
    DestroyWindow(window);
  }
  if (registered) UnregisterClassW(kClassName, instance);
}

}  // namespace

SessionEndWindow::SessionEndWindow(std::function<void()> on_end) : on_end_(std::move(on_end)) {
  std::promise<DWORD> started;
  std::future<DWORD> thread_id = started.get_future();
  try {
    thread_ = std::thread(ServeWindow, &on_end_, &started);
  } catch (const std::system_error&) {
    return;
  }
  thread_id_ = thread_id.get();
}

SessionEndWindow::~SessionEndWindow() {
  if (!thread_.joinable()) return;
  // The thread has its message queue: it made the window before telling
  // its id.
  if (thread_id_ != 0) PostThreadMessageW(thread_id_, WM_QUIT, 0, 0);
  thread_.join();
}

}  // namespace zelt20
