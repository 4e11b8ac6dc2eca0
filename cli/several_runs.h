// Several installation runs at once from one console, one per port, each
// exactly the run the window makes, on a thread of its own with its own
// installer (image, stamped header, transfer counters), run context and
// flags, trace and log: nothing of one run is shared with another. Each
// run's log goes to its own log sink (its log file), never to standard
// output; its boxes go to the question desk, its steps to the board.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli/question_desk.h"
#include "cli/run_board.h"
#include "install/installation.h"
#include "record/run_trace.h"

namespace zelt20 {

// What one run works with, made by the front end for its port text: the
// program's serial port, clock and log file, or a test's scripted station.
class RunKit {
 public:
  virtual ~RunKit() = default;
  virtual InstallerPlatform Platform() = 0;
  virtual RunTrace& Trace() = 0;
  // Where the run's log text goes (Windows-1251, as appended).
  virtual LogSink& Log() = 0;
  // Why the port could not be opened, in one line for the operator. Called
  // on the run's thread, one run at a time.
  virtual std::string PortProblem(const DeviceFailure& failure) = 0;
};

struct SeveralRunEnd {
  RunOutcome outcome = RunOutcome::kEarlyEnd;
  RunSnapshot snapshot;  // the trace's last
};

class SeveralRuns {
 public:
  using KitMaker = std::function<std::unique_ptr<RunKit>(std::string_view port_text)>;

  // The kits are made now, one per port text, in order.
  SeveralRuns(const std::vector<std::string>& port_texts, const KitMaker& make_kit,
              QuestionDesk& desk, RunBoard& board);
  SeveralRuns(const SeveralRuns&) = delete;
  SeveralRuns& operator=(const SeveralRuns&) = delete;
  ~SeveralRuns();

  // Starts every run on a thread of its own.
  void Start();
  // As the Stop button does, for every run, naming the cause in each
  // run's trace; any thread.
  void StopAll(StopCause cause);
  // Waits for every run to end.
  void Wait();
  // How each run ended, once they have.
  std::vector<SeveralRunEnd> Ends() const;
  // Any thread, while the runs go on.
  std::vector<RunSnapshot> Snapshots() const;

 private:
  class Run;

  std::vector<std::unique_ptr<Run>> runs_;
  std::vector<std::thread> threads_;
};

}  // namespace zelt20
