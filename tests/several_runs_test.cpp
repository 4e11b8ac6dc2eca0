// Several runs at once from one console, on the virtual clock: each port's
// simulated station commits its own fault, and every run must end as its
// own station makes it end, with its own log, whatever the others do; the
// summary and the exit status of each mix; the boxes asked one at a time;
// Stop reaching every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <numeric>
#include <string>
#include <thread>
#include <vector>

#include "cli/question_desk.h"
#include "cli/run_board.h"
#include "cli/several_runs.h"
#include "cli/summary.h"
#include "core/cp1251.h"
#include "tests/support/model_station.h"
#include "tests/support/release_text.h"

namespace zelt20::test {
namespace {

// What each port's station does.
enum class Station { kInstalls, kFailsInSegment, kDeclines, kNoPort };

// A simulated station behind a scripted line on a clock of its own.
class StationKit final : public RunKit {
 public:
  StationKit(Station kind, std::uint16_t serial)
      : model_(Setup(kind, serial),
               kind == Station::kFailsInSegment ? std::vector<std::string>{"badcrc:segment12.1"}
                                                : std::vector<std::string>{}) {
    if (kind == Station::kNoPort) model_.line.FailOpen();
  }

  InstallerPlatform Platform() override {
    return {model_.line, [](const ComPort&) { return ComDevice{ModelStation::kDevice}; }, model_.clock,
            [] { return CalendarTime{2026, 12, 2, 8, 14, 30, 45, 0}; }};
  }
  RunTrace& Trace() override { return trace_; }
  LogSink& Log() override { return log_; }
  std::string PortProblem(const DeviceFailure& failure) override {
    return "cannot open " + failure.device;
  }

  std::string LogUtf8() const { return Cp1251ToUtf8(log_.text); }
  ScriptedStation& Line() { return model_.line; }

 private:
  struct KeptLog final : LogSink {
    void AppendLog(const char* appended) override { text += appended; }
    std::string text;
  };

  static sim::StationSetup Setup(Station kind, std::uint16_t serial) {
    sim::StationSetup setup;
    setup.info.processor_serial = serial;
    if (kind == Station::kDeclines) setup.info.version = InstallerRelease();
    return setup;
  }

  ModelStation model_;
  RunTrace trace_{model_.clock};
  KeptLog log_;
};

// One run per station, on ports COM3, COM4, ... with stations 00101, 00102,
// ...; and the console, which keeps every write of the board whole and
// answers as the operator: Cancel to the same-release box, OK to the others.
// Each answer takes a moment, so that a second box asked meanwhile would show.
class SeveralStations final : public AnswerReader {
 public:
  explicit SeveralStations(const std::vector<Station>& stations) {
    std::vector<std::string> ports, labels;
    for (std::size_t i = 0; i < stations.size(); ++i) {
      ports.push_back(std::to_string(3 + i));
      labels.push_back("COM" + ports.back());
    }
    board_ = std::make_unique<StepLines>(
        [this](std::string_view text) {
          std::lock_guard lock(mutex_);
          writes_.emplace_back(text);
        },
        labels);
    desk_ = std::make_unique<QuestionDesk>(BoxAnswering::kAskOnTerminal, *this, *board_);
    const auto make_kit = [this, stations](std::string_view) {
      const std::size_t i = kits.size();
      auto kit = std::make_unique<StationKit>(stations[i], static_cast<std::uint16_t>(101 + i));
      kits.push_back(kit.get());
      return kit;
    };
    runs = std::make_unique<SeveralRuns>(ports, make_kit, *desk_, *board_);
  }

  std::vector<SeveralRunEnd> Run() {
    runs->Start();
    runs->Wait();
    return runs->Ends();
  }
  std::vector<std::string> Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }
  std::string All() const {
    const std::vector<std::string> writes = Writes();
    return std::accumulate(writes.begin(), writes.end(), std::string());
  }

  std::optional<std::string> ReadLine() override {
    const int answering = ++answering_;
    most_at_once = std::max(most_at_once.load(), answering);
    const std::string all = All();
    const bool same_release = all.find("не новее", all.rfind("\n[")) != std::string::npos;
    if (on_answer) on_answer();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    --answering_;
    return same_release ? "cancel" : "ok";
  }
  void Cancel() override {}

 private:
  // Declared before the runs, which use them until the runs are gone.
  mutable std::mutex mutex_;
  std::vector<std::string> writes_;
  std::atomic<int> answering_{0};
  std::unique_ptr<RunBoard> board_;
  std::unique_ptr<QuestionDesk> desk_;

 public:
  std::function<void()> on_answer;   // as each box is answered
  std::atomic<int> most_at_once{0};  // boxes being answered at once
  std::vector<StationKit*> kits;     // in port order
  std::unique_ptr<SeveralRuns> runs;
};

std::size_t Occurrences(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// How a station makes its run end: the outcome, the log's last line, the
// summary's words for it.
struct OwnEnd {
  RunOutcome outcome;
  std::string log_end;
  std::string summary_words;
};
OwnEnd OwnEndOf(Station kind, const std::string& port) {
  switch (kind) {
    case Station::kInstalls:
      return {RunOutcome::kInstalled, "Установка новой версии прошла успешно!\r\n", " installed "};
    case Station::kFailsInSegment:
      return {RunOutcome::kFailed, " \r\nОшибка: соединение потеряно!\r\n", " failed at segment 13/27 "};
    case Station::kDeclines:
      return {RunOutcome::kStopped, " 00000000\r\nВыполнение прервано пользователем\r\n", " declined "};
    case Station::kNoPort:
      return {RunOutcome::kEarlyEnd, "невозможно открыть порт! \\\\.\\" + port + "\r\n", " port not opened "};
  }
  return {};
}

struct Mix {
  const char* name;
  std::vector<Station> stations;
  int exit_status;
  const char* totals;
};
void PrintTo(const Mix& mix, std::ostream* out) { *out << mix.name; }

class EveryMix : public ::testing::TestWithParam<Mix> {};

TEST_P(EveryMix, EachRunEndsAsItsStationMakesItAndTheSummarySaysSo) {
  const Mix& mix = GetParam();
  SeveralStations stations(mix.stations);
  const std::vector<SeveralRunEnd> ends = stations.Run();
  ASSERT_EQ(ends.size(), mix.stations.size());
  const std::string summary = SummaryText(ends);
  const std::string board = stations.All();
  for (std::size_t i = 0; i < ends.size(); ++i) {
    const std::string port = "COM" + std::to_string(3 + i);
    SCOPED_TRACE(port);
    const OwnEnd own = OwnEndOf(mix.stations[i], port);
    const std::string log = stations.kits[i]->LogUtf8();
    EXPECT_EQ(ends[i].outcome, own.outcome);
    EXPECT_TRUE(log.starts_with(ReleaseLine())) << log;
    EXPECT_TRUE(log.ends_with(own.log_end)) << log;
    const std::size_t row = summary.find("\n" + port + " ");
    ASSERT_NE(row, std::string::npos) << summary;
    EXPECT_NE(summary.substr(row, summary.find('\n', row + 1) - row).find(own.summary_words),
              std::string::npos) << summary;
    EXPECT_FALSE(stations.kits[i]->Line().IsOpen());
    // A station's box names its port and serial number, a missing port its device.
    const std::string box = "\n[Внимание] " + port + ", station 00" + std::to_string(101 + i) + "\n";
    const std::string cannot_open = "zelt20-install: " + port + ": cannot open /dev/zelt20-line\n";
    const bool no_port = mix.stations[i] == Station::kNoPort;
    EXPECT_EQ(Occurrences(board, box), no_port ? 0u : 1u) << board;
    EXPECT_EQ(Occurrences(board, cannot_open), no_port ? 1u : 0u) << board;
  }
  EXPECT_TRUE(summary.ends_with(std::string("\n") + mix.totals + "\n")) << summary;
  EXPECT_EQ(SeveralExitStatus(ends), mix.exit_status);
  EXPECT_EQ(stations.most_at_once, 1) << "boxes asked one at a time";
  for (const std::string& write : stations.Writes()) {
    EXPECT_TRUE(write.ends_with("\n") || write.ends_with("[ok/Cancel] ")) << "whole lines: " << write;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Mixes, EveryMix,
    ::testing::Values(
        Mix{"AllInstall", {Station::kInstalls, Station::kInstalls}, 0,
            "2 installed, 0 failed, 0 stopped, 0 not started"},
        Mix{"OneWithoutPort", {Station::kInstalls, Station::kNoPort}, 1,
            "1 installed, 0 failed, 0 stopped, 1 not started"},
        Mix{"DeclinedAmongNoPorts", {Station::kNoPort, Station::kDeclines, Station::kNoPort}, 3,
            "0 installed, 0 failed, 1 stopped, 2 not started"},
        Mix{"EachEnd", {Station::kInstalls, Station::kFailsInSegment, Station::kDeclines, Station::kNoPort},
            2, "1 installed, 1 failed, 1 stopped, 1 not started"}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

// Stop while the first box is up: no run sends anything after it. A run
// polls Stop before it writes each request, so a request whose write
// begins once StopAll has returned is one sent after Stop; a request the
// others were already writing when Stop came is not.
TEST(SeveralRuns, StopReachesEveryRun) {
  SeveralStations stations({Station::kInstalls, Station::kInstalls, Station::kInstalls});
  std::atomic<bool> stop_pressed{false};
  std::atomic<bool> stopped{false};  // StopAll has returned: every run's Stop is set
  stations.on_answer = [&] {
    if (stop_pressed.exchange(true)) return;
    stations.runs->StopAll(StopCause::kCtrlC);
    stopped = true;
  };
  std::vector<int> requests_after_stop(3, 0);
  for (std::size_t i = 0; i < 3; ++i) {
    stations.kits[i]->Line().OnWrite([&, i](const Bytes&) { requests_after_stop[i] += stopped ? 1 : 0; });
  }
  const std::vector<SeveralRunEnd> ends = stations.Run();
  for (std::size_t i = 0; i < ends.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ends[i].outcome, RunOutcome::kStopped);
    EXPECT_EQ(requests_after_stop[i], 0);
    EXPECT_FALSE(stations.kits[i]->Line().IsOpen());
  }
}

}  // namespace
}  // namespace zelt20::test
