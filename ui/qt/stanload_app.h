// The application object: runs the main window modally and ends the
// process when it closes.
#pragma once

#include <memory>
#include <string>

#include "ui/qt/stanload_dialog.h"

class QApplication;

namespace zelt20 {

class StanloadApp {
 public:
  // Qt takes its own options from the arguments; the rest, joined, is the
  // command-line port. port_failure tells why a run could not open its port.
  StanloadApp(int& argc, char** argv, std::optional<std::string> settings_path,
              RunWorker run_worker,
              std::function<std::optional<DeviceFailure>()> port_failure = {});
  ~StanloadApp();
  StanloadApp(const StanloadApp&) = delete;
  StanloadApp& operator=(const StanloadApp&) = delete;

  // Runs the main dialog modally until it closes. Returns false: the
  // application has no message loop of its own.
  bool InitInstance();
  // The process's exit code. When the window closed on a worker that was
  // still running, the process ends here at once, without running the
  // destructors of objects the worker may still use; the worker ends with it.
  int ExitInstance();

 private:
  std::unique_ptr<QApplication> qt_;
  std::optional<std::string> settings_path_;
  RunWorker run_worker_;
  std::function<std::optional<DeviceFailure>()> port_failure_;
  // The command-line port: the text after the program's name (Windows-1251).
  std::string command_line_;
  bool worker_left_running_ = false;
};

}  // namespace zelt20
