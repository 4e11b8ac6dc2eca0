// The worker's requests to the window: the confirmation box, and what
// happens to requests when the window closes while the worker still runs.
#include <QApplication>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "tests/qt/dialog_harness.h"
#include "core/cp1251.h"

namespace zelt20::test {
namespace {

struct Window {
  explicit Window(std::chrono::milliseconds close_wait = DialogWindow::kCloseWait)
      : dialog(std::make_unique<DialogWindow>(
            DialogWindow::Setup{worker->Worker(), {}, settings.Path(), close_wait})),
        controls(*dialog) {
    dialog->show();
  }

  bool Run() {
    QTest::mouseClick(controls.start, Qt::LeftButton);
    return ServeWindowUntil([this] { return worker->Running(); }) &&
           worker->Do(steps::PortOpened());
  }

  TestSettings settings;
  std::shared_ptr<RemoteWorker> worker = MakeRemoteWorker();
  std::unique_ptr<DialogWindow> dialog;
  Controls controls;
};

RemoteWorker::Step Confirm(bool& confirmed) {
  return [&confirmed](RunContext& run) {
    confirmed = run.AskConfirmation(
        "Внимание!!! Процесс смены версии ПО длится 5-7 минут.\r\n"
        "В это время абоненты станции не обслуживаются."_cp1251,
        "Внимание"_cp1251);
  };
}

}  // namespace

class DialogBridgeTest : public QObject {
  Q_OBJECT

 private slots:
  void onlyOkConfirms_data() {
    QTest::addColumn<QString>("answer");
    QTest::addColumn<bool>("confirmed");
    QTest::newRow("OK") << "OK" << true;
    QTest::newRow("Cancel") << "Cancel" << false;
    QTest::newRow("Escape") << "Escape" << false;
    QTest::newRow("close box") << "close" << false;
  }

  void onlyOkConfirms() {
    QFETCH(QString, answer);
    QFETCH(bool, confirmed);
    Window window;
    QVERIFY(window.Run());
    SeenBox seen;
    AnswerNextBox(answer, seen);
    bool result = !confirmed;
    QVERIFY(window.worker->Do(Confirm(result)));
    QCOMPARE(result, confirmed);
    QCOMPARE(seen.caption, Utf8("Внимание"));
    QCOMPARE(seen.text, Utf8("Внимание!!! Процесс смены версии ПО длится 5-7 минут.\n"
                             "В это время абоненты станции не обслуживаются."));
    QCOMPARE(seen.icon, QMessageBox::Warning);
    QCOMPARE(seen.buttons, QMessageBox::Ok | QMessageBox::Cancel);
    QVERIFY(window.worker->Finish(steps::ClosingEnd()));
  }

  // The window closes while the worker's requests keep coming: closing
  // neither deadlocks nor waits the whole limit, because the requests stop
  // reaching the window before it waits.
  void closingWhileTheWorkerWaitsForTheWindow() {
    Window window;
    QVERIFY(window.Run());
    QTest::mouseClick(window.controls.stop_exit, Qt::LeftButton);  // Stopping
    bool confirmed = true;
    window.worker->PostFinish([&confirmed](RunContext& run) {
      for (int line = 0; line < 100; ++line) run.AppendLog("ещё строка\r\n"_cp1251);
      Confirm(confirmed)(run);
      steps::ClosingEnd()(run);
    });
    QTest::mouseClick(window.controls.stop_exit, Qt::LeftButton);
    QVERIFY(!window.dialog->isVisible());
    QVERIFY(!window.worker->Running());
    QVERIFY(!window.dialog->LeftWorkerRunning());
    QVERIFY(!confirmed);
  }

  // A worker still busy when the close wait ends is left to run; its
  // requests return at once, during the rest of the window's life and after.
  void workerLeftRunningNeverReachesTheWindow() {
    Window window(std::chrono::milliseconds(1));
    QTest::mouseClick(window.controls.start, Qt::LeftButton);
    QVERIFY(ServeWindowUntil([&window] { return window.worker->Running(); }));
    QTest::mouseClick(window.controls.stop_exit, Qt::LeftButton);
    QVERIFY(!window.dialog->isVisible());
    QVERIFY(window.dialog->LeftWorkerRunning());
    const QString shown = window.controls.log_pane->toPlainText();

    bool confirmed = true;
    QVERIFY(window.worker->Do([&confirmed](RunContext& run) {
      run.AppendLog("после закрытия\r\n"_cp1251);
      run.SetProgressPosition(77);
      Confirm(confirmed)(run);
      run.FinishRun();
    }));
    QVERIFY(!confirmed);
    QCOMPARE(window.controls.log_pane->toPlainText(), shown);
    QCOMPARE(window.controls.progress->value(), 0);
    QVERIFY(!window.controls.start->isEnabled());

    window.dialog.reset();
    confirmed = true;
    QVERIFY(window.worker->Finish([&confirmed](RunContext& run) {
      run.AppendLog("окна уже нет\r\n"_cp1251);
      Confirm(confirmed)(run);
      run.FinishRun();
    }));
    QVERIFY(!confirmed);
  }
};

}  // namespace zelt20::test

QTEST_MAIN(zelt20::test::DialogBridgeTest)
#include "dialog_bridge_test.moc"
