// The fault matrix's rows that need a real line: one installation per row,
// in this process, against the simulated station over a pseudo-terminal of
// its own, with the platform's serial port and real time-outs. Here go the
// faults that only a real line shows: a hang-up, a second installer on the
// same port, and replies that cross the port's read time-outs (cut short by
// a pause, later than the whole read, longer than one read, or boot noise
// that comes during the drain read). Every other row runs on the virtual
// clock (fault_matrix_test).
//
// Every row is also checked for a closed and unlocked port, and for a run
// time of at least its least time and under twice that: only time-outs or
// waits running twice as long as they should take a row there, a loaded
// machine adds milliseconds a read. The whole matrix is checked for leaked
// descriptors. The rows mostly wait on time-outs, so they all run at once
// and the matrix takes about as long as its longest row (a whole transfer,
// two minutes).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/fault_rows.h"
#include "tests/support/line_run.h"
#include "tests/support/release_text.h"

namespace zelt20::test {
namespace {

using namespace std::chrono_literals;
using sim::StationSetup;

During PullTheLineAfter(std::string line) { return {Act::kPullTheLine, std::move(line)}; }
During SecondInstallerAfter(std::string line) { return {Act::kSecondInstaller, std::move(line)}; }

// A run slower than this has time-outs or waits twice as long as written.
Ms UpperBound(Ms least) { return 2 * least; }
// Waits are measured on a millisecond clock.
constexpr Ms kClockSlack{20};
// A row not ended a minute after its upper bound may hang.
constexpr Ms kHangMargin{60000};
// Soon enough to come while the installer waits for the held-back reply.
constexpr auto kPullDelay = 500ms;

const std::string kReleaseLine = ReleaseLine();

std::vector<Row> Rows() {
  return {
      // A reply cut short: the interval time-out ends the read after its
      // last byte, the resend gets the whole reply.
      {.name = "middle segment chunk reply cut once",
       .faults = {"cut=7:segment0.18#1"},
       .during = StopAfter(kSegment0Loaded),
       .log_tail = kHeaderLoaded + kNoReply + kResend + kSegment0Loaded + kStopped,
       .outcome = RunOutcome::kStopped,
       .least = [](const RunTimes& t) { return t.BeforeSegment(1) + kSegmentChunkRead; }},

      // A reply longer than the read: the line keeps the rest for the next
      // read, where it spoils the resend's reply.
      {.name = "a burst longer than a read: its rest spoils the resend's reply",
       .faults = {"extra=300:fullpack-version#1"},
       .log_tail = kQueryLine + Twice(kNoReply) + kLateCommandFailed,
       .least = [](const RunTimes& t) { return t.BeforeFullpackQuery() + kQueryRead; }},

      // A reply that comes after the read has given up on it arrives with
      // the resend's reply, and the two together are no reply.
      {.name = "header reply later than the whole read",
       .faults = {"slow=21000:header#1"},
       .log_tail = kLoadingCode + Twice(kNoReply) + kConnectionLost,
       .least = [](const RunTimes& t) { return t.BeforeHeader() + Ms{21000} + kChunkRead; }},

      // A station that reboots for longer than the installer's 8-second
      // wait: its boot noise comes during the drain read and ends it.
      {.name = "station reboots for longer than the installer waits",
       .station =
           [](StationSetup& s) {
             Reboots(s);
             s.reboot_time = 9500ms;
           },
       .during = StopAfter("Доступная версия fullpack"),
       .log_tail = kRebooting + kQueryLine + kQueryAnswered + kLoadingCode + kStopped,
       .outcome = RunOutcome::kStopped,
       .least = [](const RunTimes& t) { return t.BeforeHeader(); }},

      // The line goes away while the installer waits for a held-back reply:
      // the read ends at once, the resend cannot be written.
      {.name = "line gone during a read",
       .faults = {"slow=5000:segment1.1"},
       .during = PullTheLineAfter(kSegment0Loaded),
       .log_tail = kSegment0Loaded + kNoReply + kResend + kSendFailed + kExhausted + kConnectionLost,
       .least = [](const RunTimes& t) { return t.BeforeSegment(1) + Ms{kPullDelay}; }},

      // Another installer tries the port while this one transfers.
      {.name = "second installer on the same port",
       .during = SecondInstallerAfter("Загрузка кода..."),
       .log_tail = kWritingProm + kInstalledLine,
       .outcome = RunOutcome::kInstalled,
       .least = [](const RunTimes& t) { return t.WholeRun(); },
       .station_check = ExpectWrotePromAndHoldsTheRelease},
  };
}

// One row's run: its station, its installer, and the helper thread that
// pulls the line or starts the second installer.
struct RowRun {
  RowRun(const Row& matrix_row, int com_number) : row(matrix_row), setup(RowStation(row)) {
    sim::SimulatorOptions options;
    options.station = setup;
    options.faults = RowFaults(row);
    station = std::make_unique<StationOnLine>(std::move(options), com_number);
    installer = std::make_unique<InstallerThread>(*station);
    React();
  }
  RowRun(const RowRun&) = delete;
  RowRun& operator=(const RowRun&) = delete;
  ~RowRun() {
    if (helper.joinable()) helper.join();
  }

  void React() {
    switch (row.during.act) {
      case Act::kNothing:
        return;
      case Act::kStop:
        installer->OnLine(row.during.after_line,
                          [this] { installer->Window().Flags().stop_requested = true; });
        return;
      case Act::kPullTheLine:
        installer->OnLine(row.during.after_line, [this] {
          helper = std::thread([this] {
            std::this_thread::sleep_for(kPullDelay);
            station->HangUp();
          });
        });
        return;
      case Act::kSecondInstaller:
        installer->OnLine(row.during.after_line, [this] {
          helper = std::thread([this] {
            ChildProcess second(ZELT20_INSTALL_PROGRAM,
                                {"--yes", "--no-records", station->PortText()},
                                station->Environment());
            second_exit = second.WaitForExit(60s);
            second_out = second.Out();
          });
        });
        return;
    }
  }

  Ms Least() const { return row.least(StationRunTimes(BuiltInImage(), setup)); }

  const Row& row;
  StationSetup setup;
  std::unique_ptr<StationOnLine> station;
  std::unique_ptr<InstallerThread> installer;
  std::thread helper;
  std::optional<int> second_exit;
  std::string second_out;
  InstallerRunResult result;
};

void CheckRow(const RowRun& run) {
  const Row& row = run.row;
  const InstallerRunResult& result = run.result;
  SCOPED_TRACE("row: " + row.name);
  CheckRowEnd(row, {result.log, result.outcome, result.finished, result.finish_calls}, run.station->Report());

  EXPECT_FALSE(HeldOpen(run.station->Device())) << "the port is still open";
  if (!run.station->HungUp()) {
    EXPECT_TRUE(OpensAgain(run.station->Device())) << "the port is still locked";
  }

  const Ms least = run.Least();
  EXPECT_GE(result.elapsed, least - kClockSlack) << "ended sooner than its time-outs allow";
  EXPECT_LT(result.elapsed, UpperBound(least)) << "took twice as long as its time-outs and waits";

  if (row.during.act == Act::kSecondInstaller) {
    EXPECT_EQ(run.second_exit, 1);
    EXPECT_EQ(run.second_out, kReleaseLine + "\r\nОшибка: невозможно открыть порт! \\\\.\\COM" +
                                  run.station->PortText() + "\r\n");
  }
}

TEST(FaultMatrixOnALine, EveryRowEndsAsItsFaultsRequire) {
  const std::vector<Row> rows = Rows();
  const std::vector<std::string> descriptors_before = OpenDescriptors();
  {
    // Every station is set up before any installer thread starts.
    std::vector<std::unique_ptr<RowRun>> runs;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      runs.push_back(std::make_unique<RowRun>(rows[i], static_cast<int>(i) + 1));
    }
    const auto started = std::chrono::steady_clock::now();
    for (auto& run : runs) run->installer->Start();
    for (auto& run : runs) {
      const auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                          UpperBound(run->Least()) + kHangMargin);
      if (!run->installer->WaitFor(
              std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()))) {
        // A worker that may never end cannot be joined: report the row and quit.
        std::fprintf(stderr, "fault matrix: row \"%s\" still runs a minute past twice its least time\n",
                     run->row.name.c_str());
        std::fflush(stdout);
        std::_Exit(1);
      }
      run->result = run->installer->Join();
      if (run->helper.joinable()) run->helper.join();
      CheckRow(*run);
    }
  }
  EXPECT_EQ(OpenDescriptors(), descriptors_before) << "descriptors leaked";
}

}  // namespace
}  // namespace zelt20::test
