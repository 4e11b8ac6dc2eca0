#include "tests/qt/dialog_harness.h"

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <chrono>
#include <thread>

#include "core/cp1251.h"
#include "core/settings_file.h"

namespace zelt20::test {
namespace {

// Far beyond anything a passing test needs; only a fault gets near it.
constexpr int kServeBoundMs = 20000;

}  // namespace

bool ServeWindowUntil(const std::function<bool()>& condition) {
  const QDeadlineTimer bound(kServeBoundMs);
  while (!condition()) {
    if (bound.hasExpired()) return false;
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

RunWorker RemoteWorker::Worker() {
  return [self = shared_from_this()](RunContext& run, const char* port_text) {
    return self->Serve(run, port_text);
  };
}

int RemoteWorker::Serve(RunContext& run, const char* port_text) {
  {
    std::lock_guard lock(mutex_);
    port_texts_.emplace_back(port_text);
    running_ = true;
  }
  for (;;) {
    Entry entry;
    {
      std::unique_lock lock(mutex_);
      posted_.wait(lock, [this] { return !steps_.empty(); });
      entry = std::move(steps_.front());
      steps_.pop_front();
    }
    entry.step(run);
    {
      std::lock_guard lock(mutex_);
      ++steps_done_;
      if (entry.last) running_ = false;
    }
    if (entry.last) return 0;
  }
}

std::size_t RemoteWorker::Post(Step step, bool last) {
  std::size_t ticket;
  {
    std::lock_guard lock(mutex_);
    steps_.push_back({std::move(step), last});
    ticket = ++steps_posted_;
  }
  posted_.notify_all();
  return ticket;
}

bool RemoteWorker::Do(Step step) {
  const std::size_t ticket = Post(std::move(step), false);
  return ServeWindowUntil([this, ticket] {
    std::lock_guard lock(mutex_);
    return steps_done_ >= ticket;
  });
}

bool RemoteWorker::Finish(Step last_step) {
  Post(std::move(last_step), true);
  return WaitUntilEnded();
}

void RemoteWorker::PostFinish(Step last_step) { Post(std::move(last_step), true); }

bool RemoteWorker::WaitUntilEnded() {
  return ServeWindowUntil([this] {
    std::lock_guard lock(mutex_);
    return !running_ && steps_done_ == steps_posted_;
  });
}

std::vector<std::string> RemoteWorker::PortTexts() const {
  std::lock_guard lock(mutex_);
  return port_texts_;
}

bool RemoteWorker::Running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

namespace steps {

RemoteWorker::Step OpenFails() {
  return [](RunContext& run) {
    run.AppendLog("\r\nОшибка: "_cp1251);
    run.AppendLog("невозможно открыть порт! \\\\.\\COM1\r\n"_cp1251);
    run.FinishRun();
  };
}

RemoteWorker::Step PortOpened() {
  return [](RunContext& run) {
    run.AppendLog("Версия программы 2.5:56\r\n"_cp1251);
    run.Flags().port_may_retry = false;
    run.AppendLog("\\\\.\\COM1 открыт на 19200\r\n"_cp1251);
  };
}

RemoteWorker::Step ClosingEnd() {
  return [](RunContext& run) {
    run.Flags().finished = true;
    run.FinishRun();
  };
}

RemoteWorker::Step Log(std::string cp1251_text) {
  return [text = std::move(cp1251_text)](RunContext& run) { run.AppendLog(text.c_str()); };
}

}  // namespace steps

Controls::Controls(StanloadDialog& dialog)
    : start(dialog.findChild<QPushButton*>(QStringLiteral("start"))),
      stop_exit(dialog.findChild<QPushButton*>(QStringLiteral("stopExit"))),
      progress(dialog.findChild<QProgressBar*>(QStringLiteral("progress"))),
      log_pane(dialog.findChild<QPlainTextEdit*>(QStringLiteral("logPane"))),
      port_box(dialog.findChild<QComboBox*>(QStringLiteral("portBox"))),
      com_label(dialog.findChild<QLabel*>(QStringLiteral("comLabel"))) {}

TestSettings::TestSettings()
    : path_(directory_.filePath(QStringLiteral("config.ini")).toStdString()) {}

void TestSettings::Store(const std::string& value) const {
  QFile file(QString::fromStdString(path_));
  if (!file.open(QIODevice::WriteOnly)) return;
  file.write(("[port]\r\ncom=" + value + "\r\n").c_str());
}

bool TestSettings::Exists() const { return QFile::exists(QString::fromStdString(path_)); }

std::string TestSettings::Stored() const { return ReadSetting(path_, "port", "com"); }

std::unique_ptr<StanloadDialog> OpenDialog(RunWorker worker, const TestSettings& settings,
                                           std::string command_line_port) {
  auto dialog = std::make_unique<StanloadDialog>(
      StanloadDialog::Setup{std::move(worker), std::move(command_line_port), settings.Path(),
                            StanloadDialog::kCloseWait});
  dialog->show();
  if (!QTest::qWaitForWindowActive(dialog.get())) return nullptr;
  return dialog;
}

std::string PaneText(const Controls& controls) {
  return controls.log_pane->toPlainText().toStdString();
}

void AnswerNextBox(const QString& answer, SeenBox& seen) {
  QTimer::singleShot(0, [answer, &seen] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return AnswerNextBox(answer, seen);  // not open yet
    seen = {box->windowTitle(), box->text(), box->icon(), box->standardButtons()};
    if (answer == "OK") {
      QTest::mouseClick(box->button(QMessageBox::Ok), Qt::LeftButton);
    } else if (answer == "Cancel") {
      QTest::mouseClick(box->button(QMessageBox::Cancel), Qt::LeftButton);
    } else if (answer == "Escape") {
      QTest::keyClick(box, Qt::Key_Escape);
    } else {
      box->close();
    }
  });
}

QString Utf8(const char* text) { return QString::fromUtf8(text); }

}  // namespace zelt20::test
