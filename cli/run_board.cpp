#include "cli/run_board.h"

#include <algorithm>
#include <utility>

namespace zelt20 {
namespace {

// Terminal sequences: lines too long for the terminal are cut rather than
// wrapped while the table is drawn, so that it always takes one line a row
// and the cursor finds its top again.
constexpr std::string_view kNoWrap = "\x1b[?7l";
constexpr std::string_view kWrap = "\x1b[?7h";
constexpr std::string_view kClearLine = "\x1b[2K";
constexpr std::string_view kClearBelow = "\x1b[J";

std::string LinesUp(std::size_t count) {
  return count == 0 ? "\r" : "\r\x1b[" + std::to_string(count) + "A";
}

}  // namespace

RunBoard::RunBoard(Writer write, std::vector<std::string> ports)
    : write_(std::move(write)), ports_(std::move(ports)), step_started_ms_(ports_.size(), 0) {}

void RunBoard::StepChanged(std::size_t run, const RunSnapshot& snapshot) {
  std::lock_guard lock(mutex_);
  step_started_ms_[run] = snapshot.elapsed_ms;
  std::string text = StepChangeText(RowOf(run, snapshot));
  if (!text.empty()) WriteLocked(std::move(text));
}

void RunBoard::Note(std::string_view lines) {
  std::lock_guard lock(mutex_);
  if (paused_) {
    held_ += lines;
    return;
  }
  // One statement each: the table must be cleared before it is drawn again.
  std::string text = Clear();
  text += lines;
  text += Redraw();
  write_(text);
}

void RunBoard::Pause() {
  std::lock_guard lock(mutex_);
  const std::string cleared = Clear();
  if (!cleared.empty()) write_(cleared);
  paused_ = true;
}

void RunBoard::Show(std::string_view question) {
  std::lock_guard lock(mutex_);
  write_(question);
}

void RunBoard::Resume() {
  std::lock_guard lock(mutex_);
  paused_ = false;
  std::string text = std::exchange(held_, {}) + Redraw();
  if (!text.empty()) write_(text);
}

RunRow RunBoard::RowOf(std::size_t run, const RunSnapshot& snapshot) const {
  const std::uint32_t started = std::min(step_started_ms_[run], snapshot.elapsed_ms);
  return {ports_[run], snapshot, Ms{static_cast<double>(snapshot.elapsed_ms - started)}};
}

void RunBoard::WriteLocked(std::string text) {
  if (paused_) {
    held_ += text;
  } else {
    write_(text);
  }
}

LiveTable::~LiveTable() { Stop(); }

void LiveTable::Start(Snapshots snapshots) {
  {
    std::lock_guard lock(Mutex());
    snapshots_ = std::move(snapshots);
    WriteLocked(Redraw());
  }
  thread_ = std::thread([this] { RedrawUntilStopped(); });
}

void LiveTable::RedrawUntilStopped() {
  std::unique_lock lock(Mutex());
  while (!stop_.wait_for(lock, kRedrawInterval, [this] { return stopping_; })) {
    const std::string frame = Redraw();
    if (!frame.empty()) WriteLocked(frame);
  }
}

// The last frame shows how every run ended.
void LiveTable::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(Mutex());
    stopping_ = true;
  }
  stop_.notify_all();
  thread_.join();
  std::lock_guard lock(Mutex());
  WriteLocked(Redraw());
}

std::string LiveTable::Clear() {
  if (lines_drawn_ == 0) return {};
  return LinesUp(std::exchange(lines_drawn_, 0)) + std::string(kClearBelow);
}

std::string LiveTable::Redraw() {
  if (!snapshots_ || Paused()) return {};
  const std::vector<RunSnapshot> snapshots = snapshots_();
  std::vector<RunRow> rows;
  for (std::size_t run = 0; run < snapshots.size(); ++run) rows.push_back(RowOf(run, snapshots[run]));
  const std::string table = ProgressTable(rows, Image());

  std::string frame = LinesUp(lines_drawn_) + std::string(kNoWrap);
  lines_drawn_ = 0;
  for (std::size_t start = 0; start < table.size();) {
    const std::size_t end = table.find('\n', start) + 1;
    frame += std::string(kClearLine) + table.substr(start, end - start);
    start = end;
    ++lines_drawn_;
  }
  return frame + std::string(kClearBelow) + std::string(kWrap);
}

}  // namespace zelt20
