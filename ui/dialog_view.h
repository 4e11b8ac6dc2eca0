// What the main dialog's logic asks of its window: a toolkit's widgets or
// the Win32 dialog's controls. Texts are Windows-1251, as the installer
// keeps them; each window shows them in its own way. Called on the window
// thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace zelt20 {

class DialogView {
 public:
  virtual ~DialogView() = default;

  virtual void SetWindowCaption(std::string_view text) = 0;
  virtual void SetStartCaption(std::string_view text) = 0;
  virtual void SetStopExitCaption(std::string_view text) = 0;
  virtual void EnableStart(bool enabled) = 0;
  virtual void FocusStopExit() = 0;

  // The port box: its list, its selected entry (-1 for none), the text it
  // shows, and whether the operator may change it.
  virtual void AddPortEntry(std::string_view text) = 0;
  virtual void SelectPortEntry(int position) = 0;
  virtual void SetPortBoxText(std::string_view text) = 0;
  virtual void EnablePortBox(bool enabled) = 0;
  virtual std::string PortBoxText() const = 0;
  virtual int PortBoxSelection() const = 0;
  // The port box's hint (UTF-8, the system's text rather than the
  // operator's): the device its number stands for, or why the last run
  // could not open the port. A window without hints ignores it.
  virtual void SetPortBoxHint(std::string_view text) = 0;

  // The log pane shows the whole log text each time, scrolled to its end.
  virtual void MakeLogReadOnly() = 0;
  virtual void ShowLog(std::string_view log) = 0;
  // Positions outside 0..100 are handed on as they are.
  virtual void SetProgressPosition(std::int32_t position) = 0;
  // A modal OK/Cancel box with the warning icon, owned by the window; true
  // only for OK.
  virtual bool AskConfirmation(const char* text, const char* caption) = 0;

  // Ends the window; the logic has let go of its worker by then.
  virtual void CloseWindow() = 0;
};

}  // namespace zelt20
