// The port box: the port remembered in config.ini, the command-line port
// and the port text that Start hands to the run.
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
  explicit Window(std::optional<std::string> stored, std::string command_line = {}) {
    if (stored) settings.Store(*stored);
    dialog = OpenDialog(worker->Worker(), settings, std::move(command_line));
  }

  bool ClickStart() {
    const std::size_t runs = worker->PortTexts().size();
    QTest::mouseClick(controls().start, Qt::LeftButton);
    return ServeWindowUntil([this, runs] { return worker->PortTexts().size() > runs; });
  }
  void Close() { QTest::mouseClick(controls().stop_exit, Qt::LeftButton); }
  Controls controls() const { return Controls(*dialog); }

  TestSettings settings;
  std::shared_ptr<RemoteWorker> worker = std::make_shared<RemoteWorker>();
  std::unique_ptr<StanloadDialog> dialog;
};

}  // namespace

class DialogPortTest : public QObject {
  Q_OBJECT

 private slots:
  void rememberedPortSetsUpTheBox_data() {
    QTest::addColumn<bool>("file");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("selected");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("written");
    QTest::newRow("no config.ini") << false << "" << -1 << "1" << "0";
    QTest::newRow("7") << true << "7" << 6 << "7" << "7";
    QTest::newRow("255") << true << "255" << 254 << "255" << "255";
    QTest::newRow("300") << true << "300" << -1 << "1" << "0";
    QTest::newRow("0") << true << "0" << -1 << "1" << "0";
    QTest::newRow("-2") << true << "-2" << -1 << "1" << "0";
    QTest::newRow("abc") << true << "abc" << -1 << "1" << "0";
    QTest::newRow("12abc") << true << "12abc" << 11 << "12" << "12";
    QTest::newRow("empty value") << true << "" << -1 << "1" << "0";
  }

  // The box starts from the stored value, and closing at once writes back
  // the selection: the same port, or 0 when none is selected.
  void rememberedPortSetsUpTheBox() {
    QFETCH(bool, file);
    QFETCH(QString, stored);
    QFETCH(int, selected);
    QFETCH(QString, shown);
    QFETCH(QString, written);
    Window window(file ? std::optional(stored.toStdString()) : std::nullopt);
    QComboBox* box = window.controls().port_box;
    QCOMPARE(box->currentIndex(), selected);
    QCOMPARE(box->currentText(), shown);
    QVERIFY(box->isEnabled());
    window.Close();
    QVERIFY(window.settings.Exists());
    QCOMPARE(QString::fromStdString(window.settings.Stored()), written);
  }

  void commandLinePortLocksTheBoxUntilTheFirstRunEnds() {
    Window window("7", "5");
    Controls c = window.controls();
    QCOMPARE(c.port_box->currentText(), QString("5"));
    QCOMPARE(c.port_box->currentIndex(), 6);
    QVERIFY(!c.port_box->isEnabled());

    QVERIFY(window.ClickStart());
    QCOMPARE(window.worker->PortTexts().back(), std::string("5"));
    QVERIFY(window.worker->Finish(steps::OpenFails()));
    QVERIFY(c.port_box->isEnabled());

    // Unlocked: the next Start takes the box's own text.
    c.port_box->lineEdit()->selectAll();
    QTest::keyClicks(c.port_box->lineEdit(), "9");
    QVERIFY(window.ClickStart());
    QCOMPARE(window.worker->PortTexts().back(), std::string("9"));
    QVERIFY(window.worker->Finish(steps::OpenFails()));

    // Only the list selection is remembered, never the command-line text.
    c.port_box->setCurrentIndex(6);
    window.Close();
    QCOMPARE(window.settings.Stored(), std::string("7"));
  }

  void anyCommandLineTextLocksTheBox() {
    Window window(std::nullopt, "COM5 ");
    Controls c = window.controls();
    QVERIFY(!c.port_box->isEnabled());
    QCOMPARE(c.port_box->currentText(), QString("COM5 "));
    QVERIFY(window.ClickStart());
    QCOMPARE(window.worker->PortTexts().back(), std::string("COM5 "));
    QVERIFY(window.worker->Finish(steps::OpenFails()));
    QVERIFY(c.port_box->isEnabled());
  }

  void pickedEntryIsRemembered() {
    Window window("7");
    QComboBox* box = window.controls().port_box;
    box->setFocus();
    for (int step = 0; step < 5; ++step) QTest::keyClick(box, Qt::Key_Down);
    QCOMPARE(box->currentText(), QString("12"));
    window.Close();
    QCOMPARE(window.settings.Stored(), std::string("12"));
  }

  void typedTextIsHandedOverInTheCodePageAndCut() {
    Window window("7");
    QLineEdit* edit = window.controls().port_box->lineEdit();
    edit->selectAll();
    QTest::sendKeyEvent(QTest::Click, edit, Qt::Key_unknown, Utf8("Ком"), Qt::NoModifier);
    QVERIFY(window.ClickStart());
    QCOMPARE(window.worker->PortTexts().back(), std::string("\xCA\xEE\xEC"));
    QVERIFY(window.worker->Finish(steps::OpenFails()));

    // 100 characters: the run gets the first 79.
    const std::string long_text = std::string(99, '0') + "5";
    window.controls().port_box->setEditText(QString::fromStdString(long_text));
    QVERIFY(window.ClickStart());
    QCOMPARE(window.worker->PortTexts().back(), long_text.substr(0, 79));
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
    auto worker = std::make_shared<RemoteWorker>();
    std::optional<DeviceFailure> failure = DeviceFailure{"/dev/ttyUSB0", ENOTTY};
    auto dialog = std::make_unique<StanloadDialog>(StanloadDialog::Setup{
        worker->Worker(), {}, settings.Path(), StanloadDialog::kCloseWait, [&] { return failure; }});
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

  void failedWriteIsSilent() {
    TestSettings folder;
    const std::string unwritable = folder.Path() + "/no such folder/config.ini";
    auto worker = std::make_shared<RemoteWorker>();
    auto dialog = std::make_unique<StanloadDialog>(
        StanloadDialog::Setup{worker->Worker(), {}, unwritable, StanloadDialog::kCloseWait});
    dialog->show();
    QCOMPARE(Controls(*dialog).port_box->currentText(), QString("1"));
    dialog->close();
    QVERIFY(!dialog->isVisible());
  }
};

}  // namespace zelt20::test

QTEST_MAIN(zelt20::test::DialogPortTest)
#include "dialog_port_test.moc"
