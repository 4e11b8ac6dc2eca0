// The main dialog's states and the ways between them. A state is told by
// the run flags and by whether a run started from the window has yet to
// report its end; the table below is what the window's handlers consult.
#pragma once

#include <optional>

#include "core/run_context.h"

namespace zelt20 {

enum class DialogState {
  kReady,        // Start offered: no run yet, or the last one never opened the port
  kOpeningPort,  // a run has started and has not opened the port yet
  kRunning,      // the run has opened the port
  kStopping,     // the operator asked that run to stop
  kEnded,        // a run that opened the port has ended; only Exit is left
  kClosed,       // the window has closed
};

enum class DialogEvent {
  kStart,          // the Start button, or Enter while Start is enabled
  kPortNotOpened,  // the run ended before the port was open
  kPortOpened,     // the run opened the port
  kStopExit,       // the Stop/Exit button, Escape or the window's close box
  kRunEnded,       // a run that had opened the port ended: success, failure or stop
};

struct DialogTransition {
  DialogState from;
  DialogEvent event;
  DialogState to;
};

// Every way the window can go; an event missing here for a state does
// nothing in that state. Initialisation leads into Ready. Ready, Opening
// port, Ready can repeat; Ended never leads back to Ready, so at most one
// run of a window reaches the station.
inline constexpr DialogTransition kDialogTransitions[] = {
    {DialogState::kReady, DialogEvent::kStart, DialogState::kOpeningPort},
    {DialogState::kOpeningPort, DialogEvent::kPortNotOpened, DialogState::kReady},
    {DialogState::kOpeningPort, DialogEvent::kPortOpened, DialogState::kRunning},
    {DialogState::kRunning, DialogEvent::kStopExit, DialogState::kStopping},
    {DialogState::kRunning, DialogEvent::kRunEnded, DialogState::kEnded},
    {DialogState::kStopping, DialogEvent::kRunEnded, DialogState::kEnded},
    {DialogState::kReady, DialogEvent::kStopExit, DialogState::kClosed},
    {DialogState::kOpeningPort, DialogEvent::kStopExit, DialogState::kClosed},
    {DialogState::kStopping, DialogEvent::kStopExit, DialogState::kClosed},
    {DialogState::kEnded, DialogEvent::kStopExit, DialogState::kClosed},
};

// Where the event leads from the state; none when it does nothing there.
std::optional<DialogState> NextState(DialogState from, DialogEvent event);

// The state that the run flags show. `run_active`: a run was started from
// the window and has not reported its end yet (tells Opening port from Ready).
DialogState StateOf(const RunFlags& flags, bool run_active);

}  // namespace zelt20
