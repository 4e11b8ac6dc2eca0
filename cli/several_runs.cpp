#include "cli/several_runs.h"

#include <mutex>
#include <utility>

#include "cli/run_view.h"

namespace zelt20 {
namespace {

// The reasons for a port that did not open read the system's user and
// group tables, whose calls are not made for several threads at once.
std::mutex& PortProblemsMutex() {
  static std::mutex mutex;
  return mutex;
}

}  // namespace

// One run's run context: its log goes to the kit's sink, its boxes to the
// desk; the board follows it through its trace.
class SeveralRuns::Run final : public RunContext {
 public:
  Run(std::string port_text, std::unique_ptr<RunKit> kit, QuestionDesk& desk, RunBoard& board)
      : port_text_(std::move(port_text)),
        port_(PortLabel(port_text_)),
        kit_(std::move(kit)),
        desk_(desk),
        board_(board) {}

  void AppendLog(const char* text) override { kit_->Log().AppendLog(text); }
  // The board shows the share sent from the trace.
  void SetProgressPosition(std::int32_t /*position*/) override {}
  bool AskConfirmation(const char* text, const char* caption) override {
    const std::string station = StationSerialText(kit_->Trace().Snapshot().station);
    return desk_.Ask(port_ + ", station " + station, text, caption);
  }
  void FinishRun() override {}

  RunTrace& Trace() { return kit_->Trace(); }
  RunOutcome Outcome() const { return outcome_; }

  // The run's thread.
  void Go() {
    LogInstallerRelease(*this);
    Installer installer(kit_->Platform());
    outcome_ = installer.RunInstallation(*this, port_text_.c_str(), kit_->Trace());
    if (const std::optional<DeviceFailure>& failure = installer.PortFailure()) {
      std::string problem;
      {
        std::lock_guard one_at_a_time(PortProblemsMutex());
        problem = kit_->PortProblem(*failure);
      }
      board_.Note("zelt20-install: " + port_ + ": " + problem + "\n");
    }
  }

 private:
  const std::string port_text_;
  const std::string port_;
  std::unique_ptr<RunKit> kit_;
  QuestionDesk& desk_;
  RunBoard& board_;
  RunOutcome outcome_ = RunOutcome::kEarlyEnd;
};

SeveralRuns::SeveralRuns(const std::vector<std::string>& port_texts, const KitMaker& make_kit,
                         QuestionDesk& desk, RunBoard& board) {
  for (std::size_t i = 0; i < port_texts.size(); ++i) {
    runs_.push_back(std::make_unique<Run>(port_texts[i], make_kit(port_texts[i]), desk, board));
    runs_.back()->Trace().OnStepChange(
        [&board, i](const RunSnapshot& snapshot) { board.StepChanged(i, snapshot); });
  }
}

SeveralRuns::~SeveralRuns() {
  for (const std::unique_ptr<Run>& run : runs_) run->Flags().stop_requested = true;
  Wait();
}

void SeveralRuns::Start() {
  for (const std::unique_ptr<Run>& run : runs_) threads_.emplace_back([&run = *run] { run.Go(); });
}

void SeveralRuns::StopAll(StopCause cause) {
  for (const std::unique_ptr<Run>& run : runs_) {
    run->Trace().StopRequested(cause);
    run->Flags().stop_requested = true;
  }
}

void SeveralRuns::Wait() {
  for (std::thread& thread : threads_) {
    if (thread.joinable()) thread.join();
  }
}

std::vector<SeveralRunEnd> SeveralRuns::Ends() const {
  std::vector<SeveralRunEnd> ends;
  for (const std::unique_ptr<Run>& run : runs_) ends.push_back({run->Outcome(), run->Trace().Snapshot()});
  return ends;
}

std::vector<RunSnapshot> SeveralRuns::Snapshots() const {
  std::vector<RunSnapshot> snapshots;
  for (const std::unique_ptr<Run>& run : runs_) snapshots.push_back(run->Trace().Snapshot());
  return snapshots;
}

}  // namespace zelt20
