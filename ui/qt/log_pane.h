// The log pane: a view of the whole log text, made read-only when the
// window initialises. Lines are not wrapped; there is a vertical scroll bar
// and no horizontal one.
#pragma once

#include <QPlainTextEdit>
#include <string_view>

namespace zelt20 {

class LogPane final : public QPlainTextEdit {
 public:
  explicit LogPane(QWidget* parent);

  // Typing is rejected from now on, but the text can still be selected and
  // copied.
  void MakeReadOnly();

  // Replaces the pane's text with the whole log, selects all of it and
  // scrolls the end into view, so the last line shows.
  void ShowLog(std::string_view cp1251_log);
};

}  // namespace zelt20
