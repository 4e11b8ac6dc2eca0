// What the window tests share: a worker that the test plays step by step,
// the window's controls, and a config.ini of the test's own.
#pragma once

#include <QMessageBox>
#include <QTemporaryDir>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ui/qt/stanload_dialog.h"

class QComboBox;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;

namespace zelt20::test {

// Serves the window until the condition holds; false after a generous
// bound, so that a fault fails the test instead of hanging it.
bool ServeWindowUntil(const std::function<bool()>& condition);

// A worker thread whose run is a series of steps that the test hands over
// one by one. Each step runs on the worker thread against the bridge, as
// the installation would.
class RemoteWorker : public std::enable_shared_from_this<RemoteWorker> {
 public:
  using Step = std::function<void(RunContext& run)>;

  // The window's run worker; the window starts one run of it per Start.
  RunWorker Worker();

  // Hands a step to the run and serves the window until it has run.
  bool Do(Step step);
  // The same for the run's last step; the worker returns after it.
  bool Finish(Step last_step);
  // Hands the last step over without serving the window (the test is about
  // to close it).
  void PostFinish(Step last_step);
  // Serves the window until the run has taken its last step.
  bool WaitUntilEnded();

  // The port text each run was given, in order (Windows-1251).
  std::vector<std::string> PortTexts() const;
  bool Running() const;

 private:
  struct Entry {
    Step step;
    bool last;
  };
  int Serve(RunContext& run, const char* port_text);
  std::size_t Post(Step step, bool last);

  mutable std::mutex mutex_;
  std::condition_variable posted_;
  std::deque<Entry> steps_;
  std::size_t steps_posted_ = 0;
  std::size_t steps_done_ = 0;
  bool running_ = false;
  std::vector<std::string> port_texts_;
};

// Steps of a run as the installation takes them.
namespace steps {
// The port could not be opened: an error report, then the early end.
RemoteWorker::Step OpenFails();
// The port is open: the run has reached the station.
RemoteWorker::Step PortOpened();
// The closing end of a run that opened the port.
RemoteWorker::Step ClosingEnd();
RemoteWorker::Step Log(std::string cp1251_text);
}  // namespace steps

// The window's controls, found by their names.
struct Controls {
  explicit Controls(StanloadDialog& dialog);
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
std::unique_ptr<StanloadDialog> OpenDialog(RunWorker worker, const TestSettings& settings,
                                           std::string command_line_port = {});

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
