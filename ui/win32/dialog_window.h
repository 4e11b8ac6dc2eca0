// The installer's one window on Windows: the dialog of template 102 with
// plain Win32 calls. What the window does is the main dialog's logic; this
// is its view and its window and dialog procedures.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "ui/main_dialog.h"

namespace zelt20 {

class SendMessageLink;

class DialogWindow final : private DialogView {
 public:
  // `instance` holds template 102 and icon 130.
  DialogWindow(HINSTANCE instance, MainDialog::Setup setup);
  ~DialogWindow() override;
  DialogWindow(const DialogWindow&) = delete;
  DialogWindow& operator=(const DialogWindow&) = delete;

  // Runs the dialog modally, with no owner window, until it closes.
  void DoModal();
  bool LeftWorkerRunning() const { return logic_->LeftWorkerRunning(); }

 private:
  static LRESULT CALLBACK HookCreation(int code, WPARAM wparam, LPARAM lparam);
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  void Unhook();
  INT_PTR OnMessage(UINT message, WPARAM wparam, LPARAM lparam);
  INT_PTR Answer(LRESULT result);
  BOOL OnInitDialog();
  BOOL OnPaint();
  HWND Control(int id) const { return GetDlgItem(window_, id); }

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

  HINSTANCE instance_;
  HICON app_icon_;
  HWND window_ = nullptr;
  HHOOK creation_hook_ = nullptr;
  WNDPROC dialog_class_proc_ = nullptr;
  std::shared_ptr<SendMessageLink> link_;
  std::unique_ptr<MainDialog> logic_;
};

}  // namespace zelt20
