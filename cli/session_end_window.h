// Windows: a console program that loads user32.dll (ours does: SetupAPI
// lists the ports) gets no logoff or shutdown console event. Windows asks
// its top-level windows instead, with WM_QUERYENDSESSION and then
// WM_ENDSESSION, so the console installer keeps a hidden one while it
// watches for requests to end: not a message-only window, which gets no
// broadcasts.
#pragma once

#include <functional>
#include <thread>

namespace zelt20 {

class SessionEndWindow {
 public:
  // Makes the window on a thread of its own. `on_end` runs on that thread
  // when the session ends (WM_ENDSESSION with TRUE), before the message
  // returns. When no window can be made the program goes on untold.
  explicit SessionEndWindow(std::function<void()> on_end);
  // Destroys the window and ends its thread.
  ~SessionEndWindow();
  SessionEndWindow(const SessionEndWindow&) = delete;
  SessionEndWindow& operator=(const SessionEndWindow&) = delete;

 private:
  std::function<void()> on_end_;
  std::thread thread_;
  unsigned long thread_id_ = 0;  // the window's thread; 0 without a window
};

}  // namespace zelt20
