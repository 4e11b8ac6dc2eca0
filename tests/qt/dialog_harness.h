// What the window tests share: a worker that the test plays step by step,
// the window's controls, and a config.ini of the test's own.
#pragma once

#include <QMessageBox>
#include <QTemporaryDir>
#include <functional>
#include <memory>
#include <string>

#include "tests/support/remote_worker.h"
#include "ui/qt/dialog_window.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace zelt20::test {

// Serves the window until the condition holds; false after a generous
// bound, so that a fault fails the test instead of hanging it.
bool ServeWindowUntil(const std::function<bool()>& condition);

// A remote-controlled worker that serves this window while the test waits.
std::shared_ptr<RemoteWorker> MakeRemoteWorker();

// The window's controls, found by their names.
struct Controls {
  explicit Controls(DialogWindow& dialog);
  QPushButton* start;
  QPushButton* stop_exit;
  QProgressBar* progress;
  QPlainTextEdit* log_pane;
  QComboBox* port_box;
  QLabel* com_label;
};

// A directory of the test's own holding config.ini.
class TestSettings {
 public:
  TestSettings();
  const std::string& Path() const { return path_; }
  // Writes a config.ini with key "com" in section "port" set to value.
  void Store(const std::string& value) const;
  bool Exists() const;
  // The stored value of key "com" in section "port".
  std::string Stored() const;

 private:
  QTemporaryDir directory_;
  std::string path_;
};

// The window as the program opens it, shown and active.
std::unique_ptr<DialogWindow> OpenDialog(RunWorker worker, const TestSettings& settings,
                                           std::string command_line_port = {},
                                           std::shared_ptr<Recorder> recorder = nullptr);

// The log pane's text as the operator sees it (line ends as "\n").
std::string PaneText(const Controls& controls);

// What the operator saw in a confirmation box.
struct SeenBox {
  QString caption;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
};

// Answers the next confirmation box as the operator would: "OK",
// "Cancel", "Escape" or "close" (the box's close box).
void AnswerNextBox(const QString& answer, SeenBox& seen);

// Texts in the window are Unicode; tests write them as UTF-8 literals.
QString Utf8(const char* text);

}  // namespace zelt20::test
