#include "ui/qt/log_pane.h"

#include <QPalette>
#include <QTextCursor>

#include "ui/qt/operator_text.h"

namespace zelt20 {

LogPane::LogPane(QWidget* parent) : QPlainTextEdit(parent) {
  setLineWrapMode(QPlainTextEdit::NoWrap);
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // Every append leaves the whole text selected; the highlight shows only
  // while the pane has the focus.
  QPalette colours = palette();
  colours.setColor(QPalette::Inactive, QPalette::Highlight, colours.color(QPalette::Base));
  colours.setColor(QPalette::Inactive, QPalette::HighlightedText, colours.color(QPalette::Text));
  setPalette(colours);
}

void LogPane::MakeReadOnly() {
  setReadOnly(true);
  setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
}

void LogPane::ShowLog(std::string_view cp1251_log) {
  setPlainText(OperatorText(cp1251_log));
  QTextCursor all(document());
  all.movePosition(QTextCursor::End, QTextCursor::KeepAnchor);
  setTextCursor(all);
  ensureCursorVisible();
}

}  // namespace zelt20
