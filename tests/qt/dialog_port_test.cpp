// The Qt port box as the operator uses it: an entry picked with the keys
// is what closing remembers, and typed text reaches the run in the
// installer's code page. What the box starts with and what Start takes is
// the main dialog's logic (tests/main_dialog_test.cpp).
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <cerrno>

#include "core/settings_file.h"
#include "tests/qt/dialog_harness.h"
#include "tests/support/scoped_env.h"

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
  std::unique_ptr<DialogWindow> dialog;
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

  // The tooltip names the device the box's number stands for; after a run
  // that could not open the port it says why, until the text changes.
  void tooltipNamesTheDeviceOrWhyItCouldNotBeOpened() {
    ScopedEnv com3("ZELT20_COM3", std::nullopt);
    ScopedEnv com7("ZELT20_COM7", std::nullopt);
    TestSettings settings;
    settings.Store("7");
    WriteSetting(settings.Path(), "devices", "com7", "/dev/ttyUSB0");
    std::shared_ptr<RemoteWorker> worker = MakeRemoteWorker();
    std::optional<DeviceFailure> failure = DeviceFailure{"/dev/ttyUSB0", ENOTTY};
    auto dialog = std::make_unique<DialogWindow>(DialogWindow::Setup{
        worker->Worker(), {}, settings.Path(), DialogWindow::kCloseWait, [&] { return failure; }});
    dialog->show();
    QComboBox* box = Controls(*dialog).port_box;
    const QString mapped =
        QString::fromStdString("COM7 is /dev/ttyUSB0 (com7 in [devices] of " + settings.Path() + ")");
    QCOMPARE(box->toolTip(), mapped);

    QTest::mouseClick(Controls(*dialog).start, Qt::LeftButton);
    QVERIFY(ServeWindowUntil([&] { return worker->Running(); }));
    QVERIFY(worker->Finish(steps::OpenFails()));
    QCOMPARE(box->toolTip(), QString("/dev/ttyUSB0 is not a serial port"));

    box->setEditText(QStringLiteral("3"));
    QCOMPARE(box->toolTip(), QString("COM3 is /dev/ttyS2"));
    box->setEditText(QStringLiteral("3a"));
    QCOMPARE(box->toolTip(), QString());

    // A run that never reached the port has no reason to show.
    failure.reset();
    box->setEditText(QStringLiteral("7"));
    QTest::mouseClick(Controls(*dialog).start, Qt::LeftButton);
    QVERIFY(ServeWindowUntil([&] { return worker->Running(); }));
    QVERIFY(worker->Finish(steps::OpenFails()));
    QCOMPARE(box->toolTip(), mapped);
    dialog->close();
  }
};

}  // namespace zelt20::test

QTEST_MAIN(zelt20::test::DialogPortTest)
#include "dialog_port_test.moc"
