#include "ui/main_dialog.h"

#include <algorithm>
#include <system_error>
#include <utility>
#include <vector>

#include "core/cp1251.h"
#include "install/installation.h"
#include "link/port_path.h"
#include "ui/port_tooltip.h"

namespace zelt20 {
namespace {

const char* WindowCaption() { return "Установщик рабочей программы для станции ZELT20"_cp1251; }
const char* StartCaption() { return "Запись"_cp1251; }
const char* ExitCaption() { return "Выход"_cp1251; }
const char* StopCaption() { return "Стоп"_cp1251; }

// The worker thread: one run, then its end reported to the window. What the
// run holds is let go first: once the end is reported, the window may close
// and the process end, and the thread must have nothing left to destroy.
void WorkerThread(std::shared_ptr<WorkerLink> link, RunWorker run_worker, PortText port_text,
                  std::shared_ptr<RunRecording> recording) {
  run_worker(*link, port_text.CString(), recording ? *recording : NoObserver());
  run_worker = nullptr;
  recording = nullptr;
  link->WorkerEnded();
}

}  // namespace

MainDialog::MainDialog(DialogView& view, std::shared_ptr<WorkerLink> link, Setup setup)
    : view_(view), link_(std::move(link)), setup_(std::move(setup)) {
  link_->Attach(*this);
  if (setup_.recorder && setup_.fleet_upload) {
    uploader_ = std::make_shared<FleetUploader>(
        setup_.recorder->Folder(), *setup_.fleet_upload,
        [link = std::weak_ptr<WorkerLink>(link_)](const SyncReport& report) {
          if (const std::shared_ptr<WorkerLink> window = link.lock()) {
            window->CarryOutOnWindowThread([report](MainDialog& dialog) { dialog.UploadEnded(report); });
          }
        });
    setup_.recorder->OnEveryRecordKept([uploader = uploader_] { uploader->Request(); });
  }
}

MainDialog::~MainDialog() {
  link_->Detach();
  if (!worker_.joinable()) return;
  if (link_->WaitForWorkerEnd(std::chrono::milliseconds(0))) {
    worker_.join();
  } else {
    worker_.detach();
  }
}

DialogState MainDialog::State() const { return StateOf(link_->Flags(), run_active_); }

void MainDialog::OnCreate() { remembered_port_ = ReadRememberedPort(setup_.settings_path); }

void MainDialog::OnInitDialog() {
  link_->Flags().Reset();
  run_active_ = false;
  log_text_.Clear();
  view_.SetWindowCaption(WindowCaption());
  LogInstallerRelease(*this);
  view_.MakeLogReadOnly();
  view_.ShowLog(log_text_.Text());
  view_.SetProgressPosition(0);
  view_.SetStartCaption(StartCaption());
  view_.SetStopExitCaption(ExitCaption());
  SetUpPortBox();
}

void MainDialog::SetUpPortBox() {
  for (int position = 0; position < static_cast<int>(kHighestComNumber); ++position) {
    view_.AddPortEntry(PortEntryText(position));
  }
  const PortBoxStart start = StartPortBox(remembered_port_, setup_.command_line_port);
  view_.SelectPortEntry(start.selected_position);
  view_.SetPortBoxText(start.shown_text);
  port_box_enabled_ = !start.locked;
  view_.EnablePortBox(port_box_enabled_);
  HintAtPort(start.shown_text);
}

void MainDialog::OnPortBoxEdited() { HintAtPort(view_.PortBoxText()); }

void MainDialog::HintAtPort(const std::string& port_text) {
  view_.SetPortBoxHint(PortBoxTooltip(Cp1251ToUtf8(port_text), setup_.settings_path));
}

void MainDialog::OnOK() {
  // Start is offered in Ready only: from its press until a run that never
  // opened the port ends, so no second worker can start.
  if (NextState(State(), DialogEvent::kStart) != DialogState::kOpeningPort) return;
  view_.EnableStart(false);
  link_->Flags().port_may_retry = true;
  view_.SetStopExitCaption(StopCaption());
  port_text_.Assign(TakePortText());
  run_active_ = true;
  // Each run has a log file of its own, beginning with the release line.
  recording_ = setup_.recorder ? setup_.recorder->Start(port_text_.CString()) : nullptr;
  if (recording_) {
    recording_->OnKept([link = std::weak_ptr<WorkerLink>(link_), recording = recording_.get()] {
      if (const std::shared_ptr<WorkerLink> window = link.lock()) {
        window->CarryOutOnWindowThread([recording](MainDialog& dialog) { dialog.RecordKept(recording); });
      }
    });
    LogInstallerRelease(recording_->Log());
  }
  StartWorker();
}

std::string MainDialog::TakePortText() {
  // A disabled box here is one locked by the command-line port.
  if (!port_box_enabled_) return setup_.command_line_port;
  std::string text = view_.PortBoxText();
  port_box_enabled_ = false;
  view_.EnablePortBox(false);
  return text;
}

void MainDialog::StartWorker() {
  // The previous worker called FinishRun as its last action; it is gone or
  // about to be.
  if (worker_.joinable()) worker_.join();
  link_->KeepLogAfterDetach(recording_ ? std::shared_ptr<LogSink>(recording_, &recording_->Log()) : nullptr);
  link_->WorkerStarting();
  try {
    worker_ = std::thread(WorkerThread, link_, setup_.run_worker, port_text_, recording_);
  } catch (const std::system_error&) {
    // Nothing is reported; the window keeps the look of a run opening the
    // port, and Stop/Exit closes it.
    link_->WorkerEnded();
  }
}

void MainDialog::OnCancel() {
  const std::optional<DialogState> next = NextState(State(), DialogEvent::kStopExit);
  if (next == DialogState::kStopping) {
    if (recording_) recording_->StopRequested(StopCause::kStopButton);
    link_->Flags().stop_requested = true;
    view_.SetStopExitCaption(ExitCaption());
  } else if (next == DialogState::kClosed) {
    EndDialog(setup_.close_wait, Recorder::kCloseWait);
  }
}

void MainDialog::OnEndSession(StopCause cause) {
  if (recording_) recording_->StopRequested(cause);
  link_->Flags().stop_requested = true;
  // The worker gets the time Stop needs at most; the writer what is left.
  const std::chrono::milliseconds worker_wait = std::min(setup_.close_wait, kEndSessionWait / 2);
  EndDialog(worker_wait, kEndSessionWait - worker_wait);
}

void MainDialog::EndDialog(std::chrono::milliseconds worker_wait,
                           std::chrono::milliseconds writer_wait) {
  if (std::exchange(closing_, true)) return;
  // The window stops serving the worker before it waits for it: a worker
  // blocked in a request goes on at once instead of waiting for a window
  // that is waiting for it.
  link_->Detach();
  if (worker_.joinable()) {
    // Nothing else asked a run that still goes to stop: the closing did.
    if (recording_) recording_->StopRequested(StopCause::kWindowClosed);
    if (link_->WaitForWorkerEnd(worker_wait)) {
      worker_.join();
    } else {
      worker_.detach();
      left_worker_running_ = true;
      // The run will not end before the process does: its record is kept
      // now, with what it told so far.
      if (recording_) recording_->KeepRecordOfAbandonedRun();
    }
  }
  // The records' writer gets a little time; a disk that does not answer
  // must not hold the window open.
  if (setup_.recorder) setup_.recorder->WaitUntilWritten(writer_wait);
  view_.CloseWindow();
}

void MainDialog::OnDestroy() {
  StoreRememberedPort(setup_.settings_path, RememberedPortForSelection(view_.PortBoxSelection()));
}

void MainDialog::AppendLog(const char* text) {
  log_text_.Append(text);
  if (recording_) recording_->Log().AppendLog(text);
  view_.ShowLog(log_text_.Text());
}

void MainDialog::SetProgressPosition(std::int32_t position) { view_.SetProgressPosition(position); }

bool MainDialog::AskConfirmation(const char* text, const char* caption) {
  return view_.AskConfirmation(text, caption);
}

void MainDialog::FinishRun() {
  HintAfterRun();
  if (link_->Flags().port_may_retry) view_.EnableStart(true);
  run_active_ = false;
  port_box_enabled_ = true;
  view_.EnablePortBox(true);
  view_.SetStopExitCaption(ExitCaption());
  view_.FocusStopExit();
}

void MainDialog::RecordKept(const RunRecording* recording) {
  if (recording == recording_.get()) HintAfterRun();
}

void MainDialog::UploadEnded(const SyncReport& report) {
  records_waiting_ = report.pending;
  if (!run_active_) HintAfterRun();
}

// Why the port did not open, and why the run left no record, when either
// happened.
void MainDialog::HintAfterRun() {
  std::optional<std::string> hint;
  if (link_->Flags().port_may_retry && setup_.port_failure) {
    if (const std::optional<DeviceFailure> failure = setup_.port_failure()) {
      hint = PortFailureTooltip(*failure, setup_.settings_path);
    }
  }
  // What went wrong with the run's record or its upload, below the port's hint.
  std::vector<std::string> notes;
  if (const std::optional<std::string> problem = recording_ ? recording_->Problem() : std::nullopt) {
    notes.push_back(*problem);
  }
  if (records_waiting_ > 0) {
    notes.push_back(std::to_string(records_waiting_) + " record(s) wait to be uploaded to the fleet database");
  } else if (setup_.fleet_problem) {
    notes.push_back("no upload to the fleet database: " + *setup_.fleet_problem);
  }
  if (!notes.empty()) {
    std::string text = hint.value_or(PortBoxTooltip(Cp1251ToUtf8(port_text_.CString()), setup_.settings_path));
    for (const std::string& note : notes) text = text.empty() ? note : text + "\n" + note;
    hint = text;
  }
  if (hint) view_.SetPortBoxHint(*hint);
}

}  // namespace zelt20
