// The one renderer of several runs on standard error: on a terminal a live
// table redrawn in place a few times a second; elsewhere one plain line per
// step change per run. Whatever it writes goes out whole, one text at a
// time, so no line is ever broken by another; while a question is on the
// terminal it draws nothing and holds its lines back.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "cli/run_view.h"
#include "install/firmware_image.h"
#include "record/run_trace.h"

namespace zelt20 {

class RunBoard {
 public:
  using Writer = std::function<void(std::string_view)>;
  using Snapshots = std::function<std::vector<RunSnapshot>()>;

  // `ports`: the label of each run, in the order the runs are numbered.
  RunBoard(Writer write, std::vector<std::string> ports);
  RunBoard(const RunBoard&) = delete;
  RunBoard& operator=(const RunBoard&) = delete;
  virtual ~RunBoard() = default;

  // A run's step changed, or it ended (the run's thread).
  void StepChanged(std::size_t run, const RunSnapshot& snapshot);
  // Whole lines for the operator, from any thread.
  void Note(std::string_view lines);
  // The board falls silent while a question is on the terminal, and picks
  // up again after it. The question itself is shown at once.
  void Pause();
  void Show(std::string_view question);
  void Resume();
  // From the runs' start to their end: the live table reads the runs'
  // snapshots meanwhile, and draws them once more at the end.
  virtual void Start(Snapshots /*snapshots*/) {}
  virtual void Stop() {}

 protected:
  const FirmwareImage& Image() const { return image_; }
  std::mutex& Mutex() { return mutex_; }
  bool Paused() const { return paused_; }
  // Under Mutex(): the run as the board shows it.
  RunRow RowOf(std::size_t run, const RunSnapshot& snapshot) const;
  // Under Mutex(): writes the text now, or once the board picks up again.
  void WriteLocked(std::string text);
  // Under Mutex(): what a step change adds, and what to write before a
  // note or a pause and after it.
  virtual std::string StepChangeText(const RunRow& /*row*/) { return {}; }
  virtual std::string Clear() { return {}; }
  virtual std::string Redraw() { return {}; }

 private:
  Writer write_;
  std::vector<std::string> ports_;
  FirmwareImage image_;
  std::mutex mutex_;
  // When each run reached its step, on its own clock.
  std::vector<std::uint32_t> step_started_ms_;
  bool paused_ = false;
  std::string held_;
};

// One plain line per step change per run.
class StepLines final : public RunBoard {
 public:
  using RunBoard::RunBoard;

 protected:
  std::string StepChangeText(const RunRow& row) override { return StepLine(row, Image()); }
};

// The table of every run, redrawn in place at most a few times a second,
// with notes written above it.
class LiveTable final : public RunBoard {
 public:
  static constexpr std::chrono::milliseconds kRedrawInterval{250};

  using RunBoard::RunBoard;
  ~LiveTable() override;

  void Start(Snapshots snapshots) override;
  void Stop() override;

 protected:
  std::string Clear() override;
  std::string Redraw() override;

 private:
  void RedrawUntilStopped();

  Snapshots snapshots_;
  std::size_t lines_drawn_ = 0;
  bool stopping_ = false;
  std::condition_variable stop_;
  std::thread thread_;
};

}  // namespace zelt20
