// The installer's one window in Qt: the log pane, the progress bar, the
// Start and Stop/Exit buttons and the port box, laid out in dialog units.
// What the window does is the main dialog's logic; this is its view.
#pragma once

#include <QDialog>
#include <QIcon>
#include <QMessageBox>
#include <QPointer>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ui/main_dialog.h"

class QComboBox;
class QProgressBar;
class QPushButton;

namespace zelt20 {

class LogPane;

class DialogWindow final : public QDialog, private DialogView {
 public:
  using Setup = MainDialog::Setup;
  static constexpr std::chrono::milliseconds kCloseWait = MainDialog::kCloseWait;

  explicit DialogWindow(Setup setup);
  ~DialogWindow() override;
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  // Start: the Start button, or Enter while it is enabled.
  void OnOK() { logic_->OnOK(); }
  // The program must end (a signal): a run is stopped and the window closes.
  void EndSession(StopCause cause) { logic_->OnEndSession(cause); }
  const RunFlags& Flags() const { return logic_->Flags(); }
  bool LeftWorkerRunning() const { return logic_->LeftWorkerRunning(); }

 protected:
  // Escape and the close box come here: Stop/Exit.
  void reject() override;

 private:
  void CreateControls();

  // DialogView
  void SetWindowCaption(std::string_view text) override;
  void SetStartCaption(std::string_view text) override;
  void SetStopExitCaption(std::string_view text) override;
  void EnableStart(bool enabled) override;
  void FocusStopExit() override;
  void AddPortEntry(std::string_view text) override;
  void SelectPortEntry(int position) override;
  void SetPortBoxText(std::string_view text) override;
  void EnablePortBox(bool enabled) override;
  void SetPortBoxHint(std::string_view text) override;
  std::string PortBoxText() const override;
  int PortBoxSelection() const override;
  void MakeLogReadOnly() override;
  void ShowLog(std::string_view log) override;
  void SetProgressPosition(std::int32_t position) override;
  bool AskConfirmation(const char* text, const char* caption) override;
  void CloseWindow() override;

  QIcon app_icon_;
  QPushButton* start_ = nullptr;
  QPushButton* stop_exit_ = nullptr;
  QProgressBar* progress_ = nullptr;
  LogPane* log_pane_ = nullptr;
  QComboBox* port_box_ = nullptr;
  QPointer<QMessageBox> open_box_;  // the confirmation box while it is up
  // Last, so that it is gone before the controls it shows itself through.
  std::unique_ptr<MainDialog> logic_;
};

}  // namespace zelt20
