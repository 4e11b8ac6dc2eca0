#include "ui/win32/dialog_window.h"

#include <commctrl.h>

#include <utility>

#include "ui/win32/resource.h"
#include "ui/win32/send_message_link.h"
#include "ui/win32/wide_text.h"

namespace zelt20 {
namespace {

// The window this thread is creating, until its creation hook has seen it.
thread_local DialogWindow* window_being_created = nullptr;

DialogWindow* WindowOf(HWND window) {
  return reinterpret_cast<DialogWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
}

// Ends the confirmation box, the one window the dialog owns, as Cancel.
BOOL CALLBACK CancelOwnedBox(HWND window, LPARAM owner) {
  if (GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner)) EndDialog(window, IDCANCEL);
  return TRUE;
}

}  // namespace

DialogWindow::DialogWindow(HINSTANCE instance, MainDialog::Setup setup)
    : instance_(instance),
      app_icon_(LoadIconW(instance, MAKEINTRESOURCEW(IDR_MAINFRAME))),
      link_(std::make_shared<SendMessageLink>()),
      logic_(std::make_unique<MainDialog>(static_cast<DialogView&>(*this), link_, std::move(setup))) {}

DialogWindow::~DialogWindow() { Unhook(); }

void DialogWindow::DoModal() {
  // The dialog procedure is only set once the window exists, so the
  // window's creation is caught by a hook that puts this window's own
  // procedure in front of the dialog's.
  window_being_created = this;
  creation_hook_ = SetWindowsHookExW(WH_CBT, HookCreation, nullptr, GetCurrentThreadId());
  DialogBoxParamW(instance_, MAKEINTRESOURCEW(IDD_MAIN_DIALOG), nullptr, DialogProc,
                  reinterpret_cast<LPARAM>(this));
  window_being_created = nullptr;
  Unhook();
}

void DialogWindow::Unhook() {
  if (creation_hook_ != nullptr) UnhookWindowsHookEx(creation_hook_);
  creation_hook_ = nullptr;
}

LRESULT CALLBACK DialogWindow::HookCreation(int code, WPARAM wparam, LPARAM lparam) {
  DialogWindow* self = window_being_created;
  if (code == HCBT_CREATEWND && self != nullptr) {
    window_being_created = nullptr;
    const auto window = reinterpret_cast<HWND>(wparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    self->dialog_class_proc_ = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc)));
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}

// Creation and destruction: the platform's handling comes first, then the
// dialog's own.
LRESULT CALLBACK DialogWindow::WindowProc(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) {
  DialogWindow* self = WindowOf(window);
  const WNDPROC dialog_class_proc = self->dialog_class_proc_;
  const LRESULT result = CallWindowProcW(dialog_class_proc, window, message, wparam, lparam);
  switch (message) {
    case WM_CREATE:
      self->Unhook();
      if (result == -1) return -1;
      self->logic_->OnCreate();
      return 0;
    case WM_DESTROY:
      self->logic_->OnDestroy();
      return result;
    case WM_NCDESTROY:
      SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(dialog_class_proc));
      return result;
    default:
      return result;
  }
}

INT_PTR CALLBACK DialogWindow::DialogProc(HWND window, UINT message, WPARAM wparam,
                                          LPARAM lparam) {
  DialogWindow* self = WindowOf(window);
  if (self == nullptr) return FALSE;
  if (message == WM_INITDIALOG) self->window_ = window;
  return self->OnMessage(message, wparam, lparam);
}

INT_PTR DialogWindow::OnMessage(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_INITDIALOG:
      return OnInitDialog();
    case WM_COMMAND:
      // Enter and Escape come as clicks of IDOK and IDCANCEL, and so does
      // the close box.
      if (HIWORD(wparam) != BN_CLICKED) return FALSE;
      if (LOWORD(wparam) == IDOK) {
        logic_->OnOK();
        return TRUE;
      }
      if (LOWORD(wparam) == IDCANCEL) {
        logic_->OnCancel();
        return TRUE;
      }
      return FALSE;
    case WM_PAINT:
      return OnPaint();
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(app_icon_);
    case SendMessageLink::kRequestMessage:
      return Answer(link_->OnRequestMessage(lparam));
    case WM_QUERYENDSESSION:
      return Answer(TRUE);  // the run stops once the session does end
    case WM_ENDSESSION:
      // The program may be ended as soon as this returns.
      if (wparam == TRUE) logic_->OnEndSession(StopCause::kEndSession);
      return Answer(0);
    default:
      // Everything else, the controls' colours included, as the platform does it.
      return FALSE;
  }
}

// A dialog procedure returns a message's own result through the window.
INT_PTR DialogWindow::Answer(LRESULT result) {
  SetWindowLongPtrW(window_, DWLP_MSGRESULT, result);
  return TRUE;
}

BOOL DialogWindow::OnInitDialog() {
  link_->SetWindow(window_);
  SendMessageW(window_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(app_icon_));
  logic_->OnInitDialog();
  return TRUE;  // the focus goes to the first tab stop, Start
}

// Minimised, the window shows the application icon in the middle of its
// client area; otherwise it paints as any dialog does.
BOOL DialogWindow::OnPaint() {
  if (!IsIconic(window_)) return FALSE;
  PAINTSTRUCT paint;
  const HDC dc = BeginPaint(window_, &paint);
  SendMessageW(window_, WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
  RECT client;
  GetClientRect(window_, &client);
  const int x = (client.right - client.left - GetSystemMetrics(SM_CXICON) + 1) / 2;
  const int y = (client.bottom - client.top - GetSystemMetrics(SM_CYICON) + 1) / 2;
  DrawIcon(dc, x, y, app_icon_);
  EndPaint(window_, &paint);
  return TRUE;
}

void DialogWindow::SetWindowCaption(std::string_view text) {
  SetWindowTextW(window_, WideText(text).c_str());
}

void DialogWindow::SetStartCaption(std::string_view text) {
  SetDlgItemTextW(window_, IDOK, WideText(text).c_str());
}

void DialogWindow::SetStopExitCaption(std::string_view text) {
  SetDlgItemTextW(window_, IDCANCEL, WideText(text).c_str());
}

void DialogWindow::EnableStart(bool enabled) { EnableWindow(Control(IDOK), enabled); }

void DialogWindow::FocusStopExit() { SetFocus(Control(IDCANCEL)); }

void DialogWindow::AddPortEntry(std::string_view text) {
  SendDlgItemMessageW(window_, IDC_PORT_BOX, CB_ADDSTRING, 0,
                      reinterpret_cast<LPARAM>(WideText(text).c_str()));
}

void DialogWindow::SelectPortEntry(int position) {
  SendDlgItemMessageW(window_, IDC_PORT_BOX, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
}

// The box's text field only; the selected entry stays as it is.
void DialogWindow::SetPortBoxText(std::string_view text) {
  SetDlgItemTextW(window_, IDC_PORT_BOX, WideText(text).c_str());
}

void DialogWindow::EnablePortBox(bool enabled) { EnableWindow(Control(IDC_PORT_BOX), enabled); }

// The dialog has no tooltips: on Windows the port number is the system's own
// name of the port, and the log names a port that cannot be opened.
void DialogWindow::SetPortBoxHint(std::string_view) {}

std::string DialogWindow::PortBoxText() const {
  const HWND box = Control(IDC_PORT_BOX);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
  text.resize(static_cast<std::size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
  return Cp1251Text(text);
}

int DialogWindow::PortBoxSelection() const {
  return static_cast<int>(SendDlgItemMessageW(window_, IDC_PORT_BOX, CB_GETCURSEL, 0, 0));
}

void DialogWindow::MakeLogReadOnly() {
  SendDlgItemMessageW(window_, IDC_LOG, EM_SETREADONLY, TRUE, 0);
}

// The whole text each time, all of it selected, and the caret (at its end)
// scrolled into view, so the last line shows.
void DialogWindow::ShowLog(std::string_view log) {
  const HWND pane = Control(IDC_LOG);
  SetWindowTextW(pane, WideText(log).c_str());
  SendMessageW(pane, EM_SETSEL, 0, -1);
  SendMessageW(pane, EM_SCROLLCARET, 0, 0);
}

void DialogWindow::SetProgressPosition(std::int32_t position) {
  SendDlgItemMessageW(window_, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

bool DialogWindow::AskConfirmation(const char* text, const char* caption) {
  return MessageBoxW(window_, WideText(text).c_str(), WideText(caption).c_str(),
                     MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK;
}

// A window closed from outside (the session ends) may have a box up: it
// goes too, answered Cancel.
void DialogWindow::CloseWindow() {
  EnumThreadWindows(GetCurrentThreadId(), CancelOwnedBox, reinterpret_cast<LPARAM>(window_));
  EndDialog(window_, IDCANCEL);
}

}  // namespace zelt20
