// The installer's window as a whole program.
#pragma once

#include <functional>
#include <optional>

#include "ui/main_dialog.h"

namespace zelt20 {

// Runs the window modally until it closes and returns the process's exit
// status. Qt takes its own options from the arguments; the rest, joined, is
// the command-line port. settings_path is config.ini's place, found once by
// the caller; port_failure tells why a run could not open its port; the
// recorder keeps each run's log file and record. When the window closed on
// a worker that was still running, the process ends here at once, without
// running the destructors of objects the worker may still use; the worker
// ends with it.
int RunWindowProgram(int& argc, char** argv, std::optional<std::string> settings_path,
                     RunWorker run_worker,
                     std::function<std::optional<DeviceFailure>()> port_failure = {},
                     std::shared_ptr<Recorder> recorder = nullptr);

}  // namespace zelt20
