// Several runs at once from one console, on the virtual clock: each port's
// simulated station commits its own fault, and every run must end as its
// own station makes it end, with its own log, whatever the others do; the
// summary and the exit status of each mix; the boxes asked one at a time;
// Stop reaching every run.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
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
#include "install/installation.h"
#include "sim/report.h"
#include "sim/station_model.h"
#include "tests/support/release_text.h"
#include "tests/support/scripted_station.h"
#include "tests/support/virtual_clock.h"

namespace zelt20::test {
namespace {

constexpr CalendarTime kStampTime{2026, 12, 2, 8, 14, 30, 45, 0};
const std::string kSameReleaseBox = "не новее";

// What each port's station does.
enum class Station { kInstalls, kFailsInSegment, kDeclines, kNoPort };

// A simulated station behind a scripted line on a clock of its own.
class StationKit final : public RunKit {
 public:
  StationKit(Station kind, std::uint16_t serial)
      : setup_(Setup(kind, serial)), model_(setup_, Faults(kind)), trace_(clock_) {
    line_.SetDefaultAnswer([this](const Bytes& request) {
      sim::StationAnswer answer = model_.HandleRequest(request);
      answer.bytes.insert(answer.bytes.end(), answer.after_deaf.begin(), answer.after_deaf.end());
      return answer.bytes;
    });
    if (kind == Station::kNoPort) line_.FailOpen();
  }

  InstallerPlatform Platform() override {
    return {line_, [](const ComPort&) { return ComDevice{"/dev/zelt20-line"}; }, clock_,
            [] { return kStampTime; }};
  }
  RunTrace& Trace() override { return trace_; }
  LogSink& Log() override { return log_; }
  std::string PortProblem(const DeviceFailure& failure) override {
    return "cannot open " + failure.device;
  }

  // Once the runs have ended.
  std::string LogUtf8() const { return Cp1251ToUtf8(log_.text); }
  sim::SimulatorReport Report() const { return sim::MakeReport(model_); }
  const ScriptedStation& Line() const { return line_; }
  std::uint16_t Serial() const { return setup_.info.processor_serial; }

  void OnWrite(std::function<void(const Bytes&)> hook) { line_.OnWrite(std::move(hook)); }

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
  static std::vector<sim::Fault> Faults(Station kind) {
    if (kind != Station::kFailsInSegment) return {};
    return {*sim::ParseFault("badcrc:segment12.1")};
  }

  sim::StationSetup setup_;
  sim::StationModel model_;
  VirtualClock clock_;
  ScriptedStation line_{clock_};
  RunTrace trace_;
  KeptLog log_;
};

// Everything the board writes, kept whole, write by write.
class BoardOutput {
 public:
  RunBoard::Writer Writer() {
    return [this](std::string_view text) {
      std::lock_guard lock(mutex_);
      writes_.emplace_back(text);
    };
  }
  std::vector<std::string> Writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }
  std::string All() const {
    const std::vector<std::string> writes = Writes();
    return std::accumulate(writes.begin(), writes.end(), std::string());
  }
  // The last box shown.
  std::string LastBox() const {
    const std::string all = All();
    return all.substr(all.rfind("\n["));
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> writes_;
};

// The operator: Cancel to the same-release box, OK to the others. Each
// answer takes a moment, so that a second box asked meanwhile would show.
class Operator final : public AnswerReader {
 public:
  explicit Operator(const BoardOutput& board) : board_(board) {}

  std::optional<std::string> ReadLine() override {
    const int answering = ++answering_;
    most_at_once_ = std::max(most_at_once_.load(), answering);
    const std::string box = board_.LastBox();
    {
      std::lock_guard lock(mutex_);
      headings_.push_back(box.substr(1, box.find('\n', 1) - 1));
    }
    if (on_answer_) on_answer_();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    --answering_;
    return box.find(kSameReleaseBox) != std::string::npos ? "cancel" : "ok";
  }
  void Cancel() override {}

  void OnAnswer(std::function<void()> action) { on_answer_ = std::move(action); }
  int MostAtOnce() const { return most_at_once_; }
  std::vector<std::string> Headings() const {
    std::lock_guard lock(mutex_);
    return headings_;
  }

 private:
  const BoardOutput& board_;
  std::atomic<int> answering_{0};
  std::atomic<int> most_at_once_{0};
  mutable std::mutex mutex_;
  std::vector<std::string> headings_;
  std::function<void()> on_answer_;
};

// One run per station, on ports 3, 4, 5, ... in order.
class SeveralStations {
 public:
  explicit SeveralStations(const std::vector<Station>& stations) : stations_(stations) {
    for (std::size_t i = 0; i < stations.size(); ++i) ports_.push_back(std::to_string(3 + i));
    std::vector<std::string> labels;
    for (const std::string& port : ports_) labels.push_back("COM" + port);
    board_ = std::make_unique<StepLines>(output_.Writer(), labels);
    desk_ = std::make_unique<QuestionDesk>(BoxAnswering::kAskOnTerminal, operator_, *board_);
    runs_ = std::make_unique<SeveralRuns>(
        ports_,
        [this](std::string_view) {
          const std::size_t i = kits_.size();
          auto kit = std::make_unique<StationKit>(stations_[i], static_cast<std::uint16_t>(101 + i));
          kits_.push_back(kit.get());
          return kit;
        },
        *desk_, *board_);
  }

  std::vector<SeveralRunEnd> Run() {
    runs_->Start();
    return runs_->Wait();
  }

  SeveralRuns& Runs() { return *runs_; }
  StationKit& Kit(std::size_t i) { return *kits_[i]; }
  const BoardOutput& Output() const { return output_; }
  Operator& TheOperator() { return operator_; }

 private:
  std::vector<Station> stations_;
  std::vector<std::string> ports_;
  BoardOutput output_;
  Operator operator_{output_};
  std::unique_ptr<RunBoard> board_;
  std::unique_ptr<QuestionDesk> desk_;
  std::vector<StationKit*> kits_;
  std::unique_ptr<SeveralRuns> runs_;
};

// The summary's row of a port.
std::string SummaryRow(const std::string& summary, const std::string& port) {
  const std::size_t at = summary.find("\n" + port + " ");
  if (at == std::string::npos) return {};
  return summary.substr(at + 1, summary.find('\n', at + 1) - at - 1);
}

// Each station's own end: its outcome, its log's last line, the summary's
// words for it, what the station saw.
void ExpectOwnEnd(Station kind, StationKit& kit, const SeveralRunEnd& end, const std::string& row) {
  const std::string log = kit.LogUtf8();
  EXPECT_TRUE(log.starts_with(ReleaseLine())) << log;
  EXPECT_FALSE(kit.Line().IsOpen());
  const sim::SimulatorReport report = kit.Report();
  switch (kind) {
    case Station::kInstalls:
      EXPECT_EQ(end.outcome, RunOutcome::kInstalled);
      EXPECT_TRUE(log.ends_with("Установка новой версии прошла успешно!\r\n")) << log;
      EXPECT_NE(row.find(" installed "), std::string::npos) << row;
      EXPECT_TRUE(report.flash.Matches()) << sim::FormatReport(report);
      break;
    case Station::kFailsInSegment:
      EXPECT_EQ(end.outcome, RunOutcome::kFailed);
      EXPECT_TRUE(log.ends_with(" \r\nОшибка: соединение потеряно!\r\n")) << log;
      EXPECT_NE(row.find(" failed at segment 13/27 "), std::string::npos) << row;
      EXPECT_EQ(report.blocks.segments_confirmed, 12);
      EXPECT_EQ(report.activity.prom_writes, 0);
      break;
    case Station::kDeclines:
      EXPECT_EQ(end.outcome, RunOutcome::kStopped);
      EXPECT_TRUE(log.ends_with(" 00000000\r\nВыполнение прервано пользователем\r\n")) << log;
      EXPECT_NE(row.find(" declined "), std::string::npos) << row;
      EXPECT_EQ(report.activity.Count(sim::RequestKind::kIdentify), 1);
      EXPECT_EQ(report.activity.Count(sim::RequestKind::kEnterUpgrader), 0);
      break;
    case Station::kNoPort:
      EXPECT_EQ(end.outcome, RunOutcome::kEarlyEnd);
      EXPECT_TRUE(log.ends_with("невозможно открыть порт! \\\\.\\COM" + end.snapshot.port_text + "\r\n"))
          << log;
      EXPECT_NE(row.find(" port not opened "), std::string::npos) << row;
      break;
  }
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
  for (std::size_t i = 0; i < ends.size(); ++i) {
    const std::string port = "COM" + std::to_string(3 + i);
    SCOPED_TRACE(port);
    ExpectOwnEnd(mix.stations[i], stations.Kit(i), ends[i], SummaryRow(summary, port));
    if (mix.stations[i] == Station::kNoPort) {
      EXPECT_NE(stations.Output().All().find("zelt20-install: " + port + ": cannot open /dev/zelt20-line\n"),
                std::string::npos);
    }
  }
  EXPECT_TRUE(summary.ends_with(std::string("\n") + mix.totals + "\n")) << summary;
  EXPECT_EQ(SeveralExitStatus(ends), mix.exit_status);
  // Every write of the board is whole lines.
  for (const std::string& write : stations.Output().Writes()) {
    EXPECT_TRUE(write.ends_with("\n") || write.ends_with("[ok/Cancel] ")) << write;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Mixes, EveryMix,
    ::testing::Values(
        Mix{"AllInstall", {Station::kInstalls, Station::kInstalls}, 0,
            "2 installed, 0 failed, 0 stopped, 0 not started"},
        Mix{"OneFails", {Station::kInstalls, Station::kFailsInSegment}, 2,
            "1 installed, 1 failed, 0 stopped, 0 not started"},
        Mix{"OneDeclines", {Station::kDeclines, Station::kInstalls}, 3,
            "1 installed, 0 failed, 1 stopped, 0 not started"},
        Mix{"OneWithoutPort", {Station::kInstalls, Station::kNoPort}, 1,
            "1 installed, 0 failed, 0 stopped, 1 not started"},
        Mix{"DeclinedBeforeNoPort", {Station::kNoPort, Station::kDeclines}, 3,
            "0 installed, 0 failed, 1 stopped, 1 not started"},
        Mix{"EachEnd", {Station::kInstalls, Station::kFailsInSegment, Station::kDeclines, Station::kNoPort},
            2, "1 installed, 1 failed, 1 stopped, 1 not started"}),
    [](const auto& test_case) { return std::string(test_case.param.name); });

TEST(SeveralRuns, BoxesAreAskedOneAtATimeNamingPortAndStation) {
  SeveralStations stations({Station::kInstalls, Station::kDeclines, Station::kInstalls});
  stations.Run();
  EXPECT_EQ(stations.TheOperator().MostAtOnce(), 1);
  std::vector<std::string> headings = stations.TheOperator().Headings();
  std::sort(headings.begin(), headings.end());
  EXPECT_EQ(headings, (std::vector<std::string>{"[Внимание] COM3, station 00101",
                                                "[Внимание] COM4, station 00102",
                                                "[Внимание] COM5, station 00103"}));
}

// Stop while the first box is up: no run sends anything after it.
TEST(SeveralRuns, StopReachesEveryRun) {
  SeveralStations stations({Station::kInstalls, Station::kInstalls, Station::kInstalls});
  std::atomic<bool> stopped{false};
  stations.TheOperator().OnAnswer([&] {
    if (!stopped.exchange(true)) stations.Runs().StopAll();
  });
  std::vector<int> requests_after_stop(3, 0);
  for (std::size_t i = 0; i < 3; ++i) {
    stations.Kit(i).OnWrite([&, i](const Bytes&) { requests_after_stop[i] += stopped ? 1 : 0; });
  }
  const std::vector<SeveralRunEnd> ends = stations.Run();
  for (std::size_t i = 0; i < ends.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(ends[i].outcome, RunOutcome::kStopped);
    EXPECT_EQ(requests_after_stop[i], 0);
    EXPECT_FALSE(stations.Kit(i).Line().IsOpen());
  }
  EXPECT_EQ(SeveralExitStatus(ends), 3);
}

}  // namespace
}  // namespace zelt20::test
