// What asked a run to stop before it ended on its own, as the run's record
// names it: the operator at the window or the console, or the system
// ending the program (a signal, a closing console, a logoff or shutdown).
#pragma once

namespace zelt20 {

enum class StopCause {
  kStopButton,    // the window's Stop button, or Escape
  kCtrlC,         // Ctrl-C at the console (POSIX: SIGINT)
  kSigterm,       // POSIX signals
  kSighup,
  kCtrlBreak,     // Windows console events
  kConsoleClosed,
  kLogoff,
  kShutdown,
  kEndSession,    // a Windows window's session ends (WM_ENDSESSION)
  kWindowClosed,  // the window closed while the run went on
};

}  // namespace zelt20
