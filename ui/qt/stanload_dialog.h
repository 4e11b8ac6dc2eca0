// The installer's one window: the log pane, the progress bar, the Start
// and Stop/Exit buttons and the port box. Start runs one installation on a
// worker thread; Stop/Exit asks that run to stop or closes the window.
#pragma once

#include <QDialog>
#include <QIcon>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/log_text.h"
#include "core/run_context.h"
#include "link/serial_device.h"
#include "ui/port_setting.h"

class QComboBox;
class QProgressBar;
class QPushButton;

namespace zelt20 {

class LogPane;
class RunContextBridge;

// The body of a worker thread: one run with the window's port text, its
// last action FinishRun on the run context.
using RunWorker = std::function<int(RunContext& run, const char* port_text)>;

class StanloadDialog final : public QDialog, public LogSink {
 public:
  static constexpr std::chrono::milliseconds kCloseWait{3000};

  struct Setup {
    RunWorker run_worker;
    // The command-line port (UTF-8), empty for none.
    std::string command_line_port;
    // config.ini; none when the executable's directory is unknown.
    std::optional<std::string> settings_path;
    // How long closing waits for a worker that is still running.
    std::chrono::milliseconds close_wait = kCloseWait;
    // Why the last run could not open its port; none when it opened it or
    // never tried. Asked on the window thread when a run ends.
    std::function<std::optional<DeviceFailure>()> port_failure = nullptr;
  };

  explicit StanloadDialog(Setup setup);
  ~StanloadDialog() override;
  StanloadDialog(const StanloadDialog&) = delete;
  StanloadDialog& operator=(const StanloadDialog&) = delete;

  // Start: the Start button, or Enter while it is enabled. Never closes.
  void OnOK();
  // Stop/Exit: the Stop/Exit button, Escape or the window's close box.
  void OnCancel();

  // The window side of the run context; the worker reaches these through
  // the bridge, and they run on the window thread.
  void AppendLog(const char* text) override;
  void SetProgressPosition(std::int32_t position);
  bool AskConfirmation(const char* text, const char* caption);
  void FinishRun();

  // The run flags, shared with the worker through the bridge.
  const RunFlags& Flags() const;
  // True when the window closed while its worker still ran; that worker
  // ends with the process.
  bool LeftWorkerRunning() const { return left_worker_running_; }

 protected:
  // Escape and the close box come here.
  void reject() override;

 private:
  void OnCreate();
  void CreateControls();
  bool OnInitDialog();
  void SetUpPortBox();
  // The tooltip names the device that the box's number stands for, or why
  // the port could not be opened.
  void ShowPortTooltip(const std::string& text);
  std::string TakePortText();
  void StartWorker();
  void EndDialog();
  void OnDestroy();

  Setup setup_;
  std::shared_ptr<RunContextBridge> bridge_;
  std::thread worker_;
  bool left_worker_running_ = false;
  int remembered_port_ = 0;
  PortText port_text_;
  LogText log_text_;
  QIcon app_icon_;

  QPushButton* start_ = nullptr;
  QPushButton* stop_exit_ = nullptr;
  QProgressBar* progress_ = nullptr;
  LogPane* log_pane_ = nullptr;
  QComboBox* port_box_ = nullptr;
};

}  // namespace zelt20
