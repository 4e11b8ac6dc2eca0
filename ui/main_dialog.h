// The installer's main dialog without a toolkit: its states, Start,
// Stop/Exit with the close wait, the end-of-run routine, the port box and
// the remembered port, the log text and the worker thread. It shows itself
// through a DialogView and meets its worker through a WorkerLink; the Qt
// window and the Win32 dialog are thin views of it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "core/log_text.h"
#include "core/run_context.h"
#include "fleet/fleet_uploader.h"
#include "install/run_observer.h"
#include "link/serial_device.h"
#include "record/run_recording.h"
#include "ui/dialog_state.h"
#include "ui/dialog_view.h"
#include "ui/port_setting.h"
#include "ui/worker_link.h"

namespace zelt20 {

// The body of a worker thread: one run with the window's port text, told
// to the observer, its last action FinishRun on the run context.
using RunWorker =
    std::function<void(RunContext& run, const char* port_text, RunObserver& observer)>;

class MainDialog final : public LogSink {
 public:
  static constexpr std::chrono::milliseconds kCloseWait{3000};

  struct Setup {
    RunWorker run_worker;
    // The command-line port (Windows-1251), empty for none.
    std::string command_line_port;
    // config.ini; none when the executable's directory is unknown.
    std::optional<std::string> settings_path;
    // How long closing waits for a worker that is still running.
    std::chrono::milliseconds close_wait = kCloseWait;
    // Why the last run could not open its port; none when it opened it or
    // never tried. Asked on the window thread when a run ends.
    std::function<std::optional<DeviceFailure>()> port_failure = nullptr;
    // Keeps each run's log file and record; none: no records.
    std::shared_ptr<Recorder> recorder = nullptr;
    // The fleet database's upload connection: each record kept goes there
    // in the background; none: no uploads.
    std::optional<std::string> fleet_upload = std::nullopt;
    // Why the fleet's configuration was not taken, told after each run.
    std::optional<std::string> fleet_problem = std::nullopt;
  };

  MainDialog(DialogView& view, std::shared_ptr<WorkerLink> link, Setup setup);
  // A window torn down without being closed lets go of its worker as
  // closing does, but without waiting for it.
  ~MainDialog() override;
  MainDialog(const MainDialog&) = delete;
  MainDialog& operator=(const MainDialog&) = delete;

  // Window creation, before the controls exist: reads the remembered port.
  void OnCreate();
  // The controls exist: resets the run state and sets up every control.
  void OnInitDialog();
  // Start. Never closes the window.
  void OnOK();
  // Stop/Exit: asks a run that opened the port to stop, or closes.
  void OnCancel();
  // The window is being destroyed: stores the selected port.
  void OnDestroy();
  // The operator changed the port box's text.
  void OnPortBoxEdited();
  // The program must end (a signal, the session ends): a run that goes on
  // is stopped as Stop does, naming the cause, and the window closes as
  // Stop/Exit closes it, its runs' records kept, all within
  // kEndSessionWait: a session that ends gives a program about 5 s.
  void OnEndSession(StopCause cause);
  static constexpr std::chrono::milliseconds kEndSessionWait{4000};

  // The window side of the run context, on the window thread.
  void AppendLog(const char* text) override;
  void SetProgressPosition(std::int32_t position);
  bool AskConfirmation(const char* text, const char* caption);
  void FinishRun();
  // The records writer has kept this run's record (or could not).
  void RecordKept(const RunRecording* recording);
  // An upload to the fleet database has ended.
  void UploadEnded(const SyncReport& report);

  DialogState State() const;
  const RunFlags& Flags() const { return link_->Flags(); }
  // True when the window closed while its worker still ran; that worker
  // ends with the process, and its run's record was kept by the window.
  bool LeftWorkerRunning() const { return left_worker_running_; }

 private:
  void SetUpPortBox();
  void HintAtPort(const std::string& port_text);
  std::string TakePortText();
  void StartWorker();
  void HintAfterRun();
  // Closes the window, waiting at most `worker_wait` for a worker that
  // still runs and `writer_wait` for the records writer.
  void EndDialog(std::chrono::milliseconds worker_wait, std::chrono::milliseconds writer_wait);

  DialogView& view_;
  std::shared_ptr<WorkerLink> link_;
  Setup setup_;
  std::thread worker_;
  // The log file and record of the last run started; none before.
  std::shared_ptr<RunRecording> recording_;
  std::shared_ptr<FleetUploader> uploader_;
  // Records that the last upload left waiting.
  int records_waiting_ = 0;
  // A run started from the window has not called FinishRun yet.
  bool run_active_ = false;
  bool left_worker_running_ = false;
  bool closing_ = false;
  bool port_box_enabled_ = true;
  int remembered_port_ = 0;
  PortText port_text_;
  LogText log_text_;
};

}  // namespace zelt20
