// The main dialog's logic behind a fake window: its states (Ready, Opening
// port, Running, Stopping, Ended) and the operator's ways through them, the
// port box with the remembered and the command-line port, the log and the
// progress bar. The windows' own tests cover keys, layout and looks.
#include "ui/main_dialog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "core/cp1251.h"
#include "core/settings_file.h"
#include "tests/support/release_text.h"
#include "tests/support/queued_link.h"
#include "tests/support/remote_worker.h"
#include "tests/support/temp_dir.h"

namespace zelt20 {
namespace {

using test::QueuedLink;
using test::RemoteWorker;
namespace steps = test::steps;

std::string Utf8(std::string_view cp1251) { return Cp1251ToUtf8(cp1251); }

// Records what the logic shows, and plays the operator's part in the port
// box and in the confirmation boxes. Texts are kept as the logic hands them
// over (Windows-1251).
class FakeView final : public DialogView {
 public:
  void SetWindowCaption(std::string_view text) override {
    Call("window caption");
    window_caption = text;
  }
  void SetStartCaption(std::string_view text) override {
    Call("Start caption");
    start_caption = text;
  }
  void SetStopExitCaption(std::string_view text) override {
    Call("Stop/Exit caption");
    stop_exit_caption = text;
  }
  void EnableStart(bool enabled) override { start_enabled = enabled; }
  void FocusStopExit() override { stop_exit_focused = true; }
  void AddPortEntry(std::string_view text) override {
    Call("port entries");
    entries.emplace_back(text);
  }
  void SelectPortEntry(int position) override {
    Call("port selection");
    selection = position;
  }
  void SetPortBoxText(std::string_view text) override {
    Call("port box text");
    box_text = text;
  }
  void EnablePortBox(bool enabled) override {
    Call("port box lock");
    box_enabled = enabled;
  }
  std::string PortBoxText() const override { return box_text; }
  int PortBoxSelection() const override { return selection; }
  void SetPortBoxHint(std::string_view text) override { hint = text; }
  void MakeLogReadOnly() override {
    Call("log read-only");
    log_read_only = true;
  }
  void ShowLog(std::string_view log) override {
    Call("log shown");
    shown_log = log;
  }
  void SetProgressPosition(std::int32_t position) override {
    Call("progress");
    progress = position;
  }
  bool AskConfirmation(const char* text, const char* caption) override {
    boxes.push_back(Utf8(caption) + ": " + Utf8(text));
    if (answers.empty()) return true;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void CloseWindow() override { closed = true; }

  // The operator's part.
  void Type(std::string text) { box_text = std::move(text); }
  void Pick(int position) {
    selection = position;
    box_text = entries.at(static_cast<std::size_t>(position));
  }

  // Each kind of call once for each run of calls of that kind.
  std::vector<std::string> calls;
  std::string window_caption, start_caption, stop_exit_caption;
  bool start_enabled = true;
  bool stop_exit_focused = false;
  std::vector<std::string> entries;
  int selection = -1;
  std::string box_text;
  bool box_enabled = true;
  std::string hint;
  bool log_read_only = false;
  std::string shown_log;
  std::int32_t progress = -1;
  std::deque<bool> answers;
  std::vector<std::string> boxes;
  bool closed = false;

 private:
  void Call(const char* what) {
    if (calls.empty() || calls.back() != what) calls.emplace_back(what);
  }
};

std::string NameOf(DialogState state) {
  switch (state) {
    case DialogState::kReady: return "Ready";
    case DialogState::kOpeningPort: return "Opening port";
    case DialogState::kRunning: return "Running";
    case DialogState::kStopping: return "Stopping";
    case DialogState::kEnded: return "Ended";
    case DialogState::kClosed: return "closed";
  }
  return "?";
}

// One test's window: the logic with its fake view, a worker played step by
// step, and a config.ini of its own.
struct Window {
  explicit Window(std::optional<std::string> stored = std::nullopt,
                  std::string command_line = {},
                  std::chrono::milliseconds close_wait = MainDialog::kCloseWait,
                  std::shared_ptr<Recorder> recorder = nullptr,
                  std::optional<std::string> fleet_upload = std::nullopt) {
    if (stored) test::TempDir::Write(settings_path, "[port]\r\ncom=" + *stored + "\r\n");
    dialog = std::make_unique<MainDialog>(
        view, link,
        MainDialog::Setup{worker->Worker(), std::move(command_line), settings_path, close_wait,
                          nullptr, std::move(recorder), std::move(fleet_upload)});
    dialog->OnCreate();
    dialog->OnInitDialog();
  }

  // The state as the state table describes it: the run flags, the worker
  // and the controls together, and the logic's own view of it. Anything
  // that fits no row is spelled out.
  std::string State() const {
    if (view.closed) return "closed";
    const RunFlags& flags = dialog->Flags();
    const bool worker_running = worker->Running();
    const std::string caption = Utf8(view.stop_exit_caption);
    const bool stop = caption == "Стоп", exit = caption == "Выход";
    const bool start = view.start_enabled, box = view.box_enabled;
    const bool finished = flags.finished, retry = flags.port_may_retry,
               stop_requested = flags.stop_requested;
    std::string seen;
    if (!finished && retry && !stop_requested && !worker_running && start && exit) {
      seen = "Ready";
    } else if (!finished && retry && !stop_requested && worker_running && !start && stop && !box) {
      seen = "Opening port";
    } else if (!finished && !retry && !stop_requested && worker_running && !start && stop && !box) {
      seen = "Running";
    } else if (!finished && !retry && stop_requested && worker_running && !start && exit && !box) {
      seen = "Stopping";
    } else if (finished && !retry && !worker_running && !start && exit && box) {
      seen = "Ended";
    } else {
      return "finished=" + std::to_string(finished) + " retry=" + std::to_string(retry) +
             " stop=" + std::to_string(stop_requested) + " worker=" + std::to_string(worker_running) +
             " start=" + std::to_string(start) + " caption=" + caption + " box=" + std::to_string(box);
    }
    const std::string logic = NameOf(dialog->State());
    return seen == logic ? seen : seen + " (the logic says " + logic + ")";
  }

  // The window went from the state last seen to `to`, by a transition that
  // the table lists for the event.
  ::testing::AssertionResult Went(DialogEvent event, DialogState to) {
    const std::string now = State();
    if (now != NameOf(to)) return ::testing::AssertionFailure() << "in state " << now;
    const std::optional<DialogState> listed = NextState(last_seen, event);
    if (listed != to) {
      return ::testing::AssertionFailure() << NameOf(last_seen) << " to " << now << " is no listed way";
    }
    last_seen = to;
    return ::testing::AssertionSuccess();
  }

  bool Serve(const std::function<bool()>& condition) { return link->ServeUntil(condition); }

  // Leads the window from Ready into the named state.
  bool Reach(DialogState state) {
    if (state == DialogState::kReady) return true;
    dialog->OnOK();
    if (!worker->WaitUntilRunning() || !Went(DialogEvent::kStart, DialogState::kOpeningPort)) {
      return false;
    }
    if (state == DialogState::kOpeningPort) return true;
    if (!worker->Do(steps::PortOpened()) || !Went(DialogEvent::kPortOpened, DialogState::kRunning)) {
      return false;
    }
    if (state == DialogState::kRunning) return true;
    if (state == DialogState::kStopping) {
      dialog->OnCancel();
      return Went(DialogEvent::kStopExit, DialogState::kStopping);
    }
    return worker->Finish(steps::ClosingEnd()) && Went(DialogEvent::kRunEnded, DialogState::kEnded);
  }

  // A run from Start to its end, installed.
  ::testing::AssertionResult RunInstalled() {
    if (!Reach(DialogState::kRunning)) return ::testing::AssertionFailure() << "no run";
    if (!worker->Finish([this](RunContext& run) {
          worker->Observer().RunEnded(RunEnd::kInstalled);
          steps::ClosingEnd()(run);
        })) {
      return ::testing::AssertionFailure() << "the run did not end";
    }
    return Went(DialogEvent::kRunEnded, DialogState::kEnded);
  }

  std::string Stored() const { return ReadSetting(settings_path, "port", "com"); }

  test::TempDir folder;
  std::string settings_path = folder.File("config.ini");
  FakeView view;
  std::shared_ptr<QueuedLink> link = std::make_shared<QueuedLink>();
  std::shared_ptr<RemoteWorker> worker = std::make_shared<RemoteWorker>(
      [link = link](const std::function<bool()>& condition) { return link->ServeUntil(condition); });
  std::unique_ptr<MainDialog> dialog;
  DialogState last_seen = DialogState::kReady;
};

TEST(MainDialog, InitialisesInTheWrittenOrderAndOpensReady) {
  Window window;
  const FakeView& view = window.view;
  EXPECT_EQ(window.State(), "Ready");
  EXPECT_EQ(view.calls, (std::vector<std::string>{
                            "window caption", "log shown", "log read-only", "log shown", "progress",
                            "Start caption", "Stop/Exit caption", "port entries", "port selection",
                            "port box text", "port box lock"}));
  EXPECT_EQ(Utf8(view.window_caption), "Установщик рабочей программы для станции ZELT20");
  EXPECT_EQ(Utf8(view.start_caption), "Запись");
  EXPECT_EQ(Utf8(view.stop_exit_caption), "Выход");
  EXPECT_EQ(Utf8(view.shown_log), test::ReleaseLine());
  EXPECT_TRUE(view.log_read_only);
  EXPECT_EQ(view.progress, 0);
  ASSERT_EQ(view.entries.size(), 255u);
  for (std::size_t position = 0; position < view.entries.size(); ++position) {
    ASSERT_EQ(view.entries[position], std::to_string(position + 1));  // number order, not text order
  }
}

TEST(MainDialog, StartHandsTheBoxTextToOneRunAndLocksTheBox) {
  Window window;
  window.view.Pick(11);
  window.dialog->OnOK();
  ASSERT_TRUE(window.worker->WaitUntilRunning());
  EXPECT_TRUE(window.Went(DialogEvent::kStart, DialogState::kOpeningPort));
  EXPECT_EQ(window.worker->PortTexts(), std::vector<std::string>{"12"});
  window.dialog->OnOK();  // as Enter would, with Start disabled
  ASSERT_TRUE(window.worker->Do(steps::PortOpened()));
  EXPECT_TRUE(window.Went(DialogEvent::kPortOpened, DialogState::kRunning));
  ASSERT_TRUE(window.worker->Finish(steps::ClosingEnd()));
  EXPECT_TRUE(window.Went(DialogEvent::kRunEnded, DialogState::kEnded));
  EXPECT_TRUE(window.view.stop_exit_focused);
  window.dialog->OnOK();
  EXPECT_EQ(window.worker->PortTexts().size(), 1u);
  EXPECT_EQ(window.State(), "Ended");
}

// Stop/Exit in every state: only during a run that opened the port does it
// ask for a stop; everywhere else it closes, after waiting for a worker
// that is still running (which ends meanwhile), and stores the port.
TEST(MainDialog, StopExitInEachState) {
  for (const DialogState state : {DialogState::kReady, DialogState::kOpeningPort,
                                  DialogState::kRunning, DialogState::kStopping,
                                  DialogState::kEnded}) {
    SCOPED_TRACE(NameOf(state));
    Window window;
    ASSERT_TRUE(window.Reach(state));
    if (state == DialogState::kOpeningPort) window.worker->PostFinish(steps::OpenFails());
    if (state == DialogState::kStopping) window.worker->PostFinish(steps::ClosingEnd());
    window.dialog->OnCancel();

    if (state == DialogState::kRunning) {
      EXPECT_TRUE(window.Went(DialogEvent::kStopExit, DialogState::kStopping));
      bool stop_seen = false;
      ASSERT_TRUE(window.worker->Do([&stop_seen](RunContext& run) { stop_seen = run.StopRequested(); }));
      EXPECT_TRUE(stop_seen);
      ASSERT_TRUE(window.worker->Finish(steps::ClosingEnd()));
      EXPECT_TRUE(window.Went(DialogEvent::kRunEnded, DialogState::kEnded));
      continue;
    }
    EXPECT_TRUE(window.Went(DialogEvent::kStopExit, DialogState::kClosed));
    EXPECT_FALSE(window.worker->Running());
    EXPECT_FALSE(window.dialog->LeftWorkerRunning());
    // A stop is only ever asked of a run that opened the port.
    EXPECT_EQ(window.dialog->Flags().stop_requested, state == DialogState::kStopping);
    window.dialog->OnDestroy();
    EXPECT_EQ(window.Stored(), "0");
  }
}

TEST(MainDialog, FailedPortAttemptKeepsTheLogAndOffersStartAgain) {
  Window window;
  ASSERT_TRUE(window.Reach(DialogState::kOpeningPort));
  ASSERT_TRUE(window.worker->Finish(steps::OpenFails()));
  EXPECT_TRUE(window.Went(DialogEvent::kPortNotOpened, DialogState::kReady));
  EXPECT_TRUE(window.view.stop_exit_focused);
  const std::string first_attempt =
      test::ReleaseLine() + "\r\nОшибка: невозможно открыть порт! \\\\.\\COM1\r\n";
  EXPECT_EQ(Utf8(window.view.shown_log), first_attempt);

  // The new run's lines go below the old ones; the stop flag is still clear.
  window.dialog->OnOK();
  ASSERT_TRUE(window.worker->WaitUntilRunning());
  EXPECT_TRUE(window.Went(DialogEvent::kStart, DialogState::kOpeningPort));
  EXPECT_FALSE(window.dialog->Flags().stop_requested);
  ASSERT_TRUE(window.worker->Do(steps::Log("второй раз\r\n"_cp1251)));
  EXPECT_EQ(Utf8(window.view.shown_log), first_attempt + "второй раз\r\n");
  ASSERT_TRUE(window.worker->Finish(steps::OpenFails()));
  EXPECT_EQ(window.worker->PortTexts().size(), 2u);
}

TEST(MainDialog, WorkerRequestsReachTheWindowAsTheyAre) {
  Window window;
  window.view.answers = {false, true};
  ASSERT_TRUE(window.Reach(DialogState::kRunning));
  std::vector<bool> answers;
  ASSERT_TRUE(window.worker->Do([&answers](RunContext& run) {
    for (const std::int32_t position : {42, 150, -5}) run.SetProgressPosition(position);
    run.AppendLog("");
    answers.push_back(run.AskConfirmation("текст"_cp1251, "Внимание"_cp1251));
    answers.push_back(run.AskConfirmation("ещё"_cp1251, "Внимание"_cp1251));
  }));
  // Positions outside 0..100 are the window's to show.
  EXPECT_EQ(window.view.progress, -5);
  EXPECT_EQ(answers, (std::vector<bool>{false, true}));
  EXPECT_EQ(window.view.boxes, (std::vector<std::string>{"Внимание: текст", "Внимание: ещё"}));
  ASSERT_TRUE(window.worker->Finish(steps::ClosingEnd()));
  EXPECT_EQ(window.view.progress, -5);
}

// A worker still busy when the close wait ends is left to run; from then
// on its requests return at once without reaching the window.
TEST(MainDialog, WorkerLeftRunningNeverReachesTheWindow) {
  Window window(std::nullopt, {}, std::chrono::milliseconds(1));
  ASSERT_TRUE(window.Reach(DialogState::kOpeningPort));
  window.dialog->OnCancel();
  EXPECT_TRUE(window.view.closed);
  EXPECT_TRUE(window.dialog->LeftWorkerRunning());
  const std::string shown = window.view.shown_log;

  bool confirmed = true;
  ASSERT_TRUE(window.worker->Finish([&confirmed](RunContext& run) {
    run.AppendLog("после закрытия\r\n"_cp1251);
    run.SetProgressPosition(77);
    confirmed = run.AskConfirmation("текст"_cp1251, "Внимание"_cp1251);
    run.FinishRun();
  }));
  EXPECT_FALSE(confirmed);
  EXPECT_EQ(window.view.shown_log, shown);
  EXPECT_EQ(window.view.progress, 0);
  EXPECT_TRUE(window.view.boxes.empty());
  EXPECT_FALSE(window.view.start_enabled);
}

// A request handed over just before the window lets go stays queued
// unrun; it must not keep the link, and with it the queue, alive.
TEST(MainDialog, RequestLeftQueuedDoesNotKeepTheLinkAlive) {
  std::weak_ptr<QueuedLink> link;
  {
    Window window(std::nullopt, {}, std::chrono::milliseconds(1));
    link = window.link;
    ASSERT_TRUE(window.Reach(DialogState::kOpeningPort));
    window.worker->PostFinish(steps::Log("перед закрытием\r\n"_cp1251));
    ASSERT_TRUE(test::WaitUntil([&window] { return window.link->Queued() == 1; }));
    window.dialog->OnCancel();
    ASSERT_TRUE(test::WaitUntil([&window] { return !window.worker->Running(); }));
    EXPECT_EQ(window.link->Queued(), 1u);
  }
  EXPECT_TRUE(test::WaitUntil([&link] { return link.expired(); }));
}

struct RememberedPortCase {
  std::optional<std::string> stored;
  int selected;
  std::string shown;
  std::string written;
};

// Each Start gets a log file of its own: the release line, then that run's
// lines as the pane showed them.
TEST(MainDialogRecords, EachStartWritesItsOwnLogFile) {
  test::TempDir records;
  const auto recorder = std::make_shared<Recorder>(records.Path(), RecordFacts{});
  Window window(std::nullopt, {}, MainDialog::kCloseWait, recorder);
  ASSERT_TRUE(window.Reach(DialogState::kOpeningPort));
  ASSERT_TRUE(window.worker->Finish(steps::OpenFails()));
  window.view.Type("7");
  window.dialog->OnOK();
  ASSERT_TRUE(window.worker->WaitUntilRunning());
  ASSERT_TRUE(window.worker->Do(steps::Log("второй раз\r\n"_cp1251)));
  ASSERT_TRUE(window.worker->Finish(steps::OpenFails()));
  ASSERT_TRUE(window.Serve([&recorder] { return recorder->WaitUntilWritten(std::chrono::milliseconds(0)); }));

  std::vector<std::string> logs;
  for (const auto& entry : std::filesystem::directory_iterator(records.Path())) {
    if (entry.path().extension() == ".log") logs.push_back(entry.path().filename().string());
  }
  std::sort(logs.begin(), logs.end());
  ASSERT_EQ(logs.size(), 2u);
  const std::string failed_open = "\r\nОшибка: невозможно открыть порт! \\\\.\\COM1\r\n";
  EXPECT_TRUE(logs[0].ends_with("_COM1.log") && logs[1].ends_with("_COM7.log")) << logs[0] << logs[1];
  EXPECT_EQ(test::TempDir::Read(records.File(logs[0])), test::ReleaseLine() + failed_open);
  EXPECT_EQ(test::TempDir::Read(records.File(logs[1])),
            test::ReleaseLine() + "второй раз\r\n" + failed_open);
}

// The window that closes on a run still going, by Exit or because the
// session ends, stops it and keeps that run's record, with what was known
// by then and what ended it, before it goes.
TEST(MainDialogRecords, WindowClosedDuringARunKeepsItsRecord) {
  struct Close {
    const char* name;
    std::function<void(MainDialog&)> close;
    const char* stopped_by;
  };
  const Close closes[] = {
      {"Exit while the port opens", [](MainDialog& d) { d.OnCancel(); }, "window_closed"},
      {"the session ends", [](MainDialog& d) { d.OnEndSession(StopCause::kEndSession); }, "WM_ENDSESSION"},
  };
  for (const Close& c : closes) {
    SCOPED_TRACE(c.name);
    test::TempDir records;
    Window window(std::nullopt, {}, std::chrono::milliseconds(1),
                  std::make_shared<Recorder>(records.Path(), RecordFacts{.front_end = FrontEnd::kWindow}));
    ASSERT_TRUE(window.Reach(DialogState::kOpeningPort));
    ASSERT_TRUE(window.worker->Do([&window](RunContext&) { window.worker->Observer().RunStarted("1"); }));
    c.close(*window.dialog);
    EXPECT_TRUE(window.view.closed);
    ASSERT_TRUE(window.dialog->LeftWorkerRunning());
    const std::string lines = test::TempDir::Read(records.File("installations.jsonl"));
    EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1);
    for (const std::string& field : {std::string(R"("outcome":"window_closed")"), std::string(R"("front_end":"window")"),
                                    R"("stopped_by":")" + std::string(c.stopped_by) + "\""}) {
      EXPECT_NE(lines.find(field), std::string::npos) << field << " in " << lines;
    }
    ASSERT_TRUE(window.worker->Finish(steps::OpenFails()));
  }
}

// A record that cannot be kept is told in the port box's hint once the run
// has ended; the run itself ends as it would.
TEST(MainDialogRecords, RecordNotKeptIsToldInThePortBoxHint) {
  test::TempDir dir;
  test::TempDir::Write(dir.File("file"), "");
  Window window(std::nullopt, {}, MainDialog::kCloseWait,
                std::make_shared<Recorder>(dir.Path() / "file" / "records", RecordFacts{}));
  ASSERT_TRUE(window.RunInstalled());
  // The writer tells the window once it has tried.
  EXPECT_TRUE(window.Serve([&window] {
    return window.view.hint.find("no record was kept: cannot make the folder ") != std::string::npos;
  })) << window.view.hint;
}

TEST(MainDialogRecords, UploadThatDidNotGoIsToldInThePortBoxHint) {
  test::TempDir records;
  Window window(std::nullopt, {}, MainDialog::kCloseWait, std::make_shared<Recorder>(records.Path(), RecordFacts{}),
                "DSN=zelt20-no-such-source");
  ASSERT_TRUE(window.RunInstalled());
  EXPECT_TRUE(window.Serve([&window] {
    return window.view.hint.find("1 record(s) wait to be uploaded to the fleet database") != std::string::npos;
  })) << window.view.hint;
  EXPECT_TRUE(window.view.boxes.empty());
}

// The box starts from the stored value, and closing at once writes back
// the selection: the same port, or 0 when none is selected.
TEST(MainDialogPortBox, RememberedPortSetsUpTheBox) {
  const RememberedPortCase cases[] = {
      {std::nullopt, -1, "1", "0"}, {"7", 6, "7", "7"},      {"255", 254, "255", "255"},
      {"300", -1, "1", "0"},        {"0", -1, "1", "0"},      {"-2", -1, "1", "0"},
      {"abc", -1, "1", "0"},        {"12abc", 11, "12", "12"}, {"", -1, "1", "0"},
  };
  for (const RememberedPortCase& c : cases) {
    SCOPED_TRACE(c.stored.value_or("no config.ini"));
    Window window(c.stored);
    EXPECT_EQ(window.view.selection, c.selected);
    EXPECT_EQ(window.view.box_text, c.shown);
    EXPECT_TRUE(window.view.box_enabled);
    window.dialog->OnCancel();
    window.dialog->OnDestroy();
    EXPECT_EQ(window.Stored(), c.written);
  }
}

TEST(MainDialogPortBox, CommandLinePortLocksTheBoxUntilTheFirstRunEnds) {
  Window window("7", "5");
  EXPECT_EQ(window.view.box_text, "5");
  EXPECT_EQ(window.view.selection, 6);
  EXPECT_FALSE(window.view.box_enabled);

  window.dialog->OnOK();
  ASSERT_TRUE(window.worker->WaitUntilRunning());
  EXPECT_EQ(window.worker->PortTexts().back(), "5");
  ASSERT_TRUE(window.worker->Finish(steps::OpenFails()));
  EXPECT_TRUE(window.view.box_enabled);

  // Unlocked: the next Start takes the box's own text.
  window.view.Type("9");
  window.dialog->OnOK();
  ASSERT_TRUE(window.worker->WaitUntilRunning());
  EXPECT_EQ(window.worker->PortTexts().back(), "9");
  ASSERT_TRUE(window.worker->Finish(steps::OpenFails()));

  // Only the list selection is remembered, never the command-line text.
  window.dialog->OnCancel();
  window.dialog->OnDestroy();
  EXPECT_EQ(window.Stored(), "7");
}

TEST(MainDialogPortBox, AnyCommandLineTextLocksTheBoxAndGoesToTheRunWhole) {
  for (const std::string command_line : {"COM5 ", "5 ", "\"5\""}) {
    SCOPED_TRACE(command_line);
    Window window(std::nullopt, command_line);
    EXPECT_FALSE(window.view.box_enabled);
    EXPECT_EQ(window.view.box_text, command_line);
    window.dialog->OnOK();
    ASSERT_TRUE(window.worker->WaitUntilRunning());
    EXPECT_EQ(window.worker->PortTexts().back(), command_line);
    ASSERT_TRUE(window.worker->Finish(steps::OpenFails()));
    EXPECT_TRUE(window.view.box_enabled);
  }
}

TEST(MainDialogPortBox, PickedEntryIsRememberedAndTypedTextIsCut) {
  Window window("7");
  // 100 characters: the run gets the first 79.
  const std::string long_text = std::string(99, '0') + "5";
  window.view.Type(long_text);
  window.dialog->OnOK();
  ASSERT_TRUE(window.worker->WaitUntilRunning());
  EXPECT_EQ(window.worker->PortTexts().back(), long_text.substr(0, 79));
  ASSERT_TRUE(window.worker->Finish(steps::OpenFails()));

  window.view.Pick(11);
  window.dialog->OnCancel();
  window.dialog->OnDestroy();
  EXPECT_EQ(window.Stored(), "12");
}

TEST(MainDialogPortBox, FailedWriteIsSilent) {
  test::TempDir folder;
  const std::string unwritable = folder.File("no such folder/config.ini");
  FakeView view;
  auto link = std::make_shared<QueuedLink>();
  MainDialog dialog(view, link, {nullptr, {}, unwritable, MainDialog::kCloseWait});
  dialog.OnCreate();
  dialog.OnInitDialog();
  EXPECT_EQ(view.box_text, "1");
  dialog.OnCancel();
  dialog.OnDestroy();
  EXPECT_TRUE(view.closed);
  EXPECT_FALSE(std::filesystem::exists(folder.Path() / "no such folder"));
}

}  // namespace
}  // namespace zelt20
