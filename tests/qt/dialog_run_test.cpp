// Whole installations driven from the window: the real installation on its
// worker thread, against the simulated station's model behind a scripted
// line on a virtual clock, so waits and time-outs cost no real time.
#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <condition_variable>
#include <mutex>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "install/installation.h"
#include "sim/station_model.h"
#include "tests/qt/dialog_harness.h"
#include "tests/support/release_text.h"
#include "tests/support/scripted_station.h"
#include "tests/support/temp_dir.h"
#include "ui/install_worker.h"

namespace zelt20::test {
namespace {

// The station, the line and the installer, owned by the test and the
// worker together. The line can hold the worker at the first code segment
// chunk, with the chunk written and its reply not yet read.
struct StationRig {
  VirtualClock clock;
  ScriptedStation line{clock};
  sim::StationModel station{sim::StationSetup{}};
  Installer installer{{line, [](const ComPort&) { return ComDevice{"/dev/zelt20-line"}; }, clock,
                       [] { return CalendarTime{2026, 12, 2, 8, 14, 30, 45, 0}; }}};

  std::mutex mutex;
  std::condition_variable changed;
  bool hold_at_segment = false;
  bool held = false;

  StationRig() {
    line.SetDefaultAnswer([this](const Bytes& request) {
      sim::StationAnswer answer = station.HandleRequest(request);
      if (answer.kind == sim::RequestKind::kSegmentChunk) HoldIfAsked();
      answer.bytes.insert(answer.bytes.end(), answer.after_deaf.begin(), answer.after_deaf.end());
      return answer.bytes;
    });
  }

  void HoldIfAsked() {
    std::unique_lock lock(mutex);
    if (!hold_at_segment) return;
    held = true;
    changed.notify_all();
    changed.wait(lock, [this] { return !hold_at_segment; });
  }
  bool Held() {
    std::lock_guard lock(mutex);
    return held;
  }
  void Release() {
    {
      std::lock_guard lock(mutex);
      hold_at_segment = false;
    }
    changed.notify_all();
  }
};

// Log text with its line ends as the pane shows them ("\n").
std::string AsShown(std::string text) {
  for (std::size_t at; (at = text.find("\r\n")) != std::string::npos;) text.erase(at, 1);
  return text;
}

struct Window {
  void Open() {
    dialog = OpenDialog(InstallWorker(std::shared_ptr<Installer>(rig, &rig->installer)), settings, {},
                        recorder);
  }
  // The records of the window's runs, one JSON object each, once written
  // (the writer tells the window when it has kept one).
  std::vector<nlohmann::json> Records() const {
    std::vector<nlohmann::json> kept;
    if (!ServeWindowUntil([this] { return recorder->WaitUntilWritten(std::chrono::milliseconds(0)); })) {
      return kept;
    }
    std::istringstream lines(TempDir::Read(records.File("installations.jsonl")));
    for (std::string line; std::getline(lines, line);) kept.push_back(nlohmann::json::parse(line));
    return kept;
  }
  Controls controls() const { return Controls(*dialog); }
  bool WaitForFinishRun() {
    return ServeWindowUntil([this] {
      return controls().port_box->isEnabled() && controls().stop_exit->text() == Utf8("Выход");
    });
  }
  std::string Pane() const { return PaneText(controls()); }

  TestSettings settings;
  TempDir records;
  std::shared_ptr<StationRig> rig = std::make_shared<StationRig>();
  std::shared_ptr<Recorder> recorder =
      std::make_shared<Recorder>(records.Path(), RecordFacts{.front_end = FrontEnd::kWindow}, rig->clock);
  std::unique_ptr<DialogWindow> dialog;
};

}  // namespace

class DialogRunTest : public QObject {
  Q_OBJECT

 private slots:
  void successfulRun() {
    Window window;
    window.Open();
    SeenBox box;
    AnswerNextBox("OK", box);
    QTest::mouseClick(window.controls().start, Qt::LeftButton);
    QVERIFY(window.WaitForFinishRun());

    QCOMPARE(box.text, Utf8("Внимание!!! Процесс смены версии ПО длится 5-7 минут.\n"
                            "В это время абоненты станции не обслуживаются."));
    QVERIFY(window.rig->station.PromWritten());
    QCOMPARE(window.rig->line.OpenedPath(), std::string("/dev/zelt20-line"));
    QVERIFY(window.Pane().starts_with(AsShown(ReleaseLine() + ProgramVersionLine())));
    QVERIFY(window.Pane().ends_with("Установка новой версии прошла успешно!\n"));
    QCOMPARE(window.controls().progress->value(), 100);
    const RunFlags& flags = window.dialog->Flags();
    QVERIFY(flags.finished && !flags.port_may_retry && !flags.stop_requested);
    QVERIFY(!window.controls().start->isEnabled());

    // The run's record, and its log file with what the pane showed.
    const std::vector<nlohmann::json> records = window.Records();
    QCOMPARE(records.size(), std::size_t{1});
    const nlohmann::json& record = records[0];
    QVERIFY(record["outcome"] == "installed");
    QVERIFY(record["front_end"] == "window");
    QVERIFY(record["station"]["processor_serial"] ==
            sim::StationSetup::DefaultStationInfo().processor_serial);
    QVERIFY(record["boxes"][0]["answer"] == "ok");
    QCOMPARE(AsShown(TempDir::Read(window.records.File(record["log_file"]))), window.Pane());
  }

  // Stop during the transfer: the exchange in progress sees it right after
  // its request has gone out, and the run ends without writing the PROM.
  void stopDuringTheTransfer() {
    Window window;
    window.rig->hold_at_segment = true;
    window.Open();
    SeenBox box;
    AnswerNextBox("OK", box);
    QTest::mouseClick(window.controls().start, Qt::LeftButton);
    QVERIFY(ServeWindowUntil([&window] { return window.rig->Held(); }));

    QTest::mouseClick(window.controls().stop_exit, Qt::LeftButton);
    QCOMPARE(window.controls().stop_exit->text(), Utf8("Выход"));
    QVERIFY(window.dialog->isVisible());
    window.rig->Release();
    QVERIFY(window.WaitForFinishRun());

    QVERIFY(window.Pane().ends_with("Выполнение прервано пользователем\n"));
    QVERIFY(!window.rig->station.PromWritten());
    QVERIFY(!window.rig->line.IsOpen());
    const int progress = window.controls().progress->value();
    QVERIFY(progress > 0 && progress < 100);
    QVERIFY(window.dialog->Flags().finished);
    QVERIFY(!window.controls().start->isEnabled());
  }
};

}  // namespace zelt20::test

QTEST_MAIN(zelt20::test::DialogRunTest)
#include "dialog_run_test.moc"
