// What is the Qt window's own: its layout in dialog units, the default
// button and the first focus, the keys that start and stop, the progress
// bar and the log pane. The states and the port box are the main dialog's
// logic, tested behind a fake window (tests/main_dialog_test.cpp).
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>

#include "tests/qt/dialog_harness.h"
#include "core/cp1251.h"
#include "install/firmware_image.h"
#include "ui/qt/dialog_units.h"

namespace zelt20::test {
namespace {

// The release line as the pane shows it.
const std::string kReleaseLine = "Версия устанавливаемого ПО: " + VersionText(InstallerRelease()) + "\n";

// The window's state as the state table defines it from the run flags, the
// worker and the controls; anything else is spelled out.
QString StateOf(const DialogWindow& dialog, const Controls& controls, bool worker_running) {
  const RunFlags& flags = dialog.Flags();
  const bool stop = controls.stop_exit->text() == Utf8("Стоп");
  const bool exit = controls.stop_exit->text() == Utf8("Выход");
  const bool start = controls.start->isEnabled();
  const bool box = controls.port_box->isEnabled();
  const bool finished = flags.finished, retry = flags.port_may_retry,
             stop_requested = flags.stop_requested;
  if (!finished && retry && !stop_requested && !worker_running && start && exit) return "Ready";
  if (!finished && retry && !stop_requested && worker_running && !start && stop && !box)
    return "Opening port";
  if (!finished && !retry && !stop_requested && worker_running && !start && stop && !box)
    return "Running";
  if (!finished && !retry && stop_requested && worker_running && !start && exit && !box)
    return "Stopping";
  if (finished && !retry && !worker_running && !start && exit && box) return "Ended";
  return QStringLiteral("finished=%1 retry=%2 stop=%3 worker=%4 start=%5 caption=%6 box=%7")
      .arg(finished).arg(retry).arg(stop_requested).arg(worker_running).arg(start)
      .arg(controls.stop_exit->text()).arg(box);
}

// One test's window with its remote-controlled worker.
struct Window {
  TestSettings settings;
  std::shared_ptr<RemoteWorker> worker = MakeRemoteWorker();
  std::unique_ptr<DialogWindow> dialog = OpenDialog(worker->Worker(), settings);
  Controls controls{*dialog};

  QString State() const { return StateOf(*dialog, controls, worker->Running()); }

  bool ClickStart() {
    QTest::mouseClick(controls.start, Qt::LeftButton);
    return ServeWindowUntil([this] { return worker->Running(); });
  }

  // Leads the window from Ready into the named state.
  bool Reach(const QString& state) {
    if (state == "Ready") return true;
    if (!ClickStart()) return false;
    if (state == "Opening port") return true;
    if (!worker->Do(steps::PortOpened())) return false;
    if (state == "Running") return true;
    if (state == "Stopping") {
      QTest::mouseClick(controls.stop_exit, Qt::LeftButton);
      return true;
    }
    return worker->Finish(steps::ClosingEnd());  // Ended
  }

  void Trigger(const QString& trigger) {
    if (trigger == "button") {
      QTest::mouseClick(controls.stop_exit, Qt::LeftButton);
    } else if (trigger == "escape") {
      QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    } else {
      dialog->close();  // the window's close box
    }
  }

  void PressEnter() { QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); }
};

}  // namespace

class DialogStateTest : public QObject {
  Q_OBJECT

 private slots:
  void opensWithStartAsDefaultAndFocused() {
    Window window;
    QVERIFY(window.dialog);
    Controls& c = window.controls;
    QCOMPARE(window.State(), QString("Ready"));
    QCOMPARE(window.dialog->windowTitle(), Utf8("Установщик рабочей программы для станции ZELT20"));
    QCOMPARE(c.start->text(), Utf8("Запись"));
    QCOMPARE(c.stop_exit->text(), Utf8("Выход"));
    QCOMPARE(c.com_label->text(), QString("COM"));
    QVERIFY(c.start->isDefault());
    QCOMPARE(QApplication::focusWidget(), c.start);
    QCOMPARE(c.progress->value(), 0);
    QCOMPARE(PaneText(c), kReleaseLine);
    QVERIFY(!window.dialog->windowIcon().isNull());
    QCOMPARE(c.port_box->count(), 255);
    QCOMPARE(c.port_box->itemText(9), QString("10"));
  }

  void layoutStaysInsideTheWindow() {
    Window window;
    const DialogUnits units(window.dialog->font());
    QCOMPARE(window.dialog->size(), units.ToPixels({0, 0, 279, 129}).size());
    const QRect client = window.dialog->rect();
    const Controls& c = window.controls;
    const QList<QWidget*> controls = {c.start, c.stop_exit, c.progress, c.log_pane, c.port_box,
                                      c.com_label};
    for (QWidget* control : controls) {
      QVERIFY2(client.contains(control->geometry()), qPrintable(control->objectName()));
      for (QWidget* other : controls) {
        if (other != control) {
          QVERIFY2(!control->geometry().intersects(other->geometry()),
                   qPrintable(control->objectName() + " " + other->objectName()));
        }
      }
    }
  }

  // The button, Escape and the close box are all Stop/Exit: they ask a run
  // that opened the port to stop, and close the window otherwise.
  void stopExitTriggers_data() {
    QTest::addColumn<QString>("state");
    QTest::addColumn<QString>("trigger");
    for (const char* state : {"Ready", "Running"}) {
      for (const char* trigger : {"button", "escape", "close box"}) {
        QTest::addRow("%s, %s", state, trigger) << QString(state) << QString(trigger);
      }
    }
  }

  void stopExitTriggers() {
    QFETCH(QString, state);
    QFETCH(QString, trigger);
    Window window;
    QVERIFY(window.Reach(state));
    window.Trigger(trigger);
    if (state == "Running") {
      QVERIFY(window.dialog->isVisible());
      QCOMPARE(window.State(), QString("Stopping"));
      QVERIFY(window.worker->Finish(steps::ClosingEnd()));
      QCOMPARE(window.State(), QString("Ended"));
      return;
    }
    QVERIFY(!window.dialog->isVisible());
    QCOMPARE(window.dialog->result(), int(QDialog::Rejected));
    QCOMPARE(window.settings.Stored(), std::string("0"));
  }

  void escapeClosesFromAnyControl_data() {
    QTest::addColumn<QString>("control");
    QTest::newRow("log pane") << QString("logPane");
    QTest::newRow("port box") << QString("portBox");
  }

  void escapeClosesFromAnyControl() {
    QFETCH(QString, control);
    Window window;
    window.dialog->findChild<QWidget*>(control)->setFocus();
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
    QVERIFY(!window.dialog->isVisible());
  }

  void enterStartsFromAnyControl_data() {
    QTest::addColumn<QString>("control");
    QTest::newRow("Start") << QString("start");
    QTest::newRow("Stop/Exit") << QString("stopExit");
    QTest::newRow("log pane") << QString("logPane");
    QTest::newRow("port box") << QString("portBox");
  }

  void enterStartsFromAnyControl() {
    QFETCH(QString, control);
    Window window;
    window.dialog->findChild<QWidget*>(control)->setFocus();
    window.PressEnter();
    QVERIFY(ServeWindowUntil([&window] { return window.worker->Running(); }));
    QCOMPARE(window.State(), QString("Opening port"));
    QCOMPARE(window.worker->PortTexts(), std::vector<std::string>{"1"});
    QVERIFY(window.worker->Finish(steps::OpenFails()));
  }

  void enterDoesNothingWhileStartIsDisabled() {
    Window window;
    QVERIFY(window.Reach("Running"));
    window.PressEnter();
    QCOMPARE(window.State(), QString("Running"));
    QVERIFY(window.worker->Finish(steps::ClosingEnd()));
    window.PressEnter();
    QVERIFY(window.dialog->isVisible());
    QCOMPARE(window.State(), QString("Ended"));
    QCOMPARE(window.worker->PortTexts().size(), std::size_t{1});
  }

  void progressBarClampsAndKeepsItsLastPosition() {
    Window window;
    QProgressBar* bar = window.controls.progress;
    QVERIFY(window.Reach("Running"));
    const auto move_to = [&window](std::int32_t position) {
      return window.worker->Do([position](RunContext& run) { run.SetProgressPosition(position); });
    };
    QVERIFY(move_to(42));
    QCOMPARE(bar->value(), 42);
    QVERIFY(move_to(150));
    QCOMPARE(bar->value(), 100);
    QVERIFY(move_to(-5));
    QCOMPARE(bar->value(), 0);
    QVERIFY(move_to(100));
    QVERIFY(window.worker->Finish(steps::ClosingEnd()));
    QCOMPARE(bar->value(), 100);
  }

  void logPaneShowsTheLastLineWithAllSelected() {
    Window window;
    QPlainTextEdit* pane = window.controls.log_pane;
    QVERIFY(window.Reach("Running"));
    QVERIFY(window.worker->Do([](RunContext& run) {
      for (int line = 0; line < 300; ++line) run.AppendLog("строка журнала\r\n"_cp1251);
      run.AppendLog("последняя строка"_cp1251);
    }));
    const auto shows_end_all_selected = [pane] {
      const QTextCursor cursor = pane->textCursor();
      return pane->verticalScrollBar()->value() == pane->verticalScrollBar()->maximum() &&
             cursor.selectionStart() == 0 &&
             cursor.selectionEnd() == pane->document()->characterCount() - 1;
    };
    QVERIFY(pane->verticalScrollBar()->maximum() > 0);
    QVERIFY(shows_end_all_selected());
    QCOMPARE(pane->document()->lastBlock().text(), Utf8("последняя строка"));
    // The release line, the two lines of the opened port, 300 lines, the last.
    QCOMPARE(pane->document()->blockCount(), 304);

    // An empty append changes no text but shows the end again.
    pane->verticalScrollBar()->setValue(0);
    pane->setTextCursor(QTextCursor(pane->document()));
    QVERIFY(window.worker->Do(steps::Log("")));
    QVERIFY(shows_end_all_selected());
    QVERIFY(window.worker->Finish(steps::ClosingEnd()));
  }

  void logPaneRejectsTypingButTakesTheFocus() {
    Window window;
    QPlainTextEdit* pane = window.controls.log_pane;
    pane->setFocus();
    QCOMPARE(QApplication::focusWidget(), pane);
    const QString before = pane->toPlainText();
    QTest::keyClicks(pane, "abc");
    QTest::keyClick(pane, Qt::Key_Backspace);
    QCOMPARE(pane->toPlainText(), before);
    QVERIFY(pane->isReadOnly());
    QCOMPARE(pane->lineWrapMode(), QPlainTextEdit::NoWrap);
  }
};

}  // namespace zelt20::test

QTEST_MAIN(zelt20::test::DialogStateTest)
#include "dialog_state_test.moc"
