// The Qt port box as the operator uses it: an entry picked with the keys
// is what closing remembers, and typed text reaches the run in the
// installer's code page. What the box starts with and what Start takes is
// the main dialog's logic (tests/main_dialog_test.cpp).
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include "tests/qt/dialog_harness.h"

namespace zelt20::test {
namespace {

struct Window {
  explicit Window(const std::string& stored) {
    settings.Store(stored);
    dialog = OpenDialog(worker->Worker(), settings);
  }

  bool ClickStart() {
    const std::size_t runs = worker->PortTexts().size();
    QTest::mouseClick(controls().start, Qt::LeftButton);
    return ServeWindowUntil([this, runs] { return worker->PortTexts().size() > runs; });
  }
  void Close() { QTest::mouseClick(controls().stop_exit, Qt::LeftButton); }
  Controls controls() const { return Controls(*dialog); }

  TestSettings settings;
  std::shared_ptr<RemoteWorker> worker = MakeRemoteWorker();
  std::unique_ptr<StanloadDialog> dialog;
};

}  // namespace

class DialogPortTest : public QObject {
  Q_OBJECT

 private slots:
  void pickedEntryIsRemembered() {
    Window window("7");
    QComboBox* box = window.controls().port_box;
    box->setFocus();
    for (int step = 0; step < 5; ++step) QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->currentText(), QString("12"));
    window.Close();
    QCOMPARE(window.settings.Stored(), std::string("12"));
  }

  void typedTextIsHandedOverInTheCodePage() {
    Window window("7");
    QLineEdit* edit = window.controls().port_box->lineEdit();
    edit->selectAll();
    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, Utf8("Ком"), Qt::NoModifier);
    QVERIFY(window.ClickStart());
    QCOMPARE(window.worker->PortTexts().back(), std::string("\xCA\xEE\xEC"));
    QVERIFY(window.worker->Finish(steps::OpenFails()));
  }
};

}  // namespace zelt20::test

QTEST_MAIN(zelt20::test::DialogPortTest)
#include "dialog_port_test.moc"
