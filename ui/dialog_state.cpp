#include "ui/dialog_state.h"

namespace zelt20 {

std::optional<DialogState> NextState(DialogState from, DialogEvent event) {
  for (const DialogTransition& transition : kDialogTransitions) {
    if (transition.from == from && transition.event == event) return transition.to;
  }
  return std::nullopt;
}

DialogState StateOf(const RunFlags& flags, bool run_active) {
  if (flags.finished) return DialogState::kEnded;
  if (flags.stop_requested) return DialogState::kStopping;
  if (!flags.port_may_retry) return DialogState::kRunning;
  return run_active ? DialogState::kOpeningPort : DialogState::kReady;
}

}  // namespace zelt20
