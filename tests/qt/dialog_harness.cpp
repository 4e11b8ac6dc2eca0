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

std::shared_ptr<RemoteWorker> MakeRemoteWorker() {
  return std::make_shared<RemoteWorker>(ServeWindowUntil);
}

Controls::Controls(DialogWindow& dialog)
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

std::unique_ptr<DialogWindow> OpenDialog(RunWorker worker, const TestSettings& settings,
                                           std::string command_line_port, std::shared_ptr<Recorder> recorder) {
  auto dialog = std::make_unique<DialogWindow>(
      DialogWindow::Setup{std::move(worker), std::move(command_line_port), settings.Path(),
                            DialogWindow::kCloseWait, nullptr, std::move(recorder)});
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
