#include "record/run_trace.h"

#include <string_view>
#include <utility>

#include "record/run_id.h"

namespace zelt20 {
namespace {

// An error message without the blanks and line breaks its format put
// around it.
std::string Trimmed(std::string_view message) {
  constexpr std::string_view kAround = " \r\n";
  const std::size_t first = message.find_first_not_of(kAround);
  if (first == std::string_view::npos) return {};
  return std::string(message.substr(first, message.find_last_not_of(kAround) - first + 1));
}

}  // namespace

RunTrace::RunTrace(Clock& clock, WallClock wall_clock)
    : clock_(clock), wall_clock_(std::move(wall_clock)), started_tick_(clock_.TickCount()) {
  state_.run_id = NewRunId();
  state_.started = wall_clock_();
}

RunSnapshot RunTrace::Snapshot() const {
  std::lock_guard lock(mutex_);
  RunSnapshot snapshot = state_;
  if (!snapshot.end) snapshot.elapsed_ms = clock_.TickCount() - started_tick_;
  return snapshot;
}

template <typename Change>
void RunTrace::Update(Change change) {
  std::lock_guard lock(mutex_);
  change(state_);
}

void RunTrace::TellStepListener() {
  if (step_listener_) step_listener_(Snapshot());
}

void RunTrace::StopRequested(StopCause cause) {
  Update([&](RunSnapshot& s) {
    if (!s.end && !s.stopped_by) s.stopped_by = cause;
  });
}

bool RunTrace::WaitForEnd(std::chrono::steady_clock::time_point deadline) const {
  std::unique_lock lock(mutex_);
  return ended_.wait_until(lock, deadline, [this] { return state_.end.has_value(); });
}

void RunTrace::RunStarted(std::string_view port_text) {
  Update([&](RunSnapshot& s) { s.port_text = port_text; });
}

void RunTrace::PortNamed(const ComPort& port, const ComDevice& device) {
  Update([&](RunSnapshot& s) {
    s.port = port;
    s.device = device;
  });
}

void RunTrace::PortOpened() {
  Update([](RunSnapshot& s) { s.port_opened = true; });
}

void RunTrace::StepReached(StepAt step) {
  bool changed = false;
  Update([&](RunSnapshot& s) {
    changed = s.step != step;
    s.step = step;
  });
  if (changed) TellStepListener();
}

void RunTrace::StationIdentified(const StationInfo& station) {
  Update([&](RunSnapshot& s) { s.station = station; });
}

void RunTrace::FullpackChosen(std::uint16_t station_version, bool needed) {
  Update([&](RunSnapshot& s) {
    s.station_fullpack = station_version;
    s.fullpack_needed = needed;
  });
}

void RunTrace::FullpackSent() {
  Update([](RunSnapshot& s) { s.fullpack_sent = true; });
}

void RunTrace::BoxShown(const char* text, const char* caption) {
  Update([&](RunSnapshot& s) { s.boxes.push_back({text, caption, std::nullopt}); });
}

void RunTrace::BoxAnswered(bool ok) {
  Update([&](RunSnapshot& s) {
    if (!s.boxes.empty()) s.boxes.back().ok = ok;
  });
}

void RunTrace::TransferProgress(std::int32_t bytes_sent, std::int32_t transfer_total) {
  Update([&](RunSnapshot& s) {
    s.bytes_sent = bytes_sent;
    s.transfer_total = transfer_total;
  });
}

void RunTrace::RequestResent() {
  Update([](RunSnapshot& s) { ++s.requests_resent; });
}

void RunTrace::BlockResent(int /*block_index*/) {
  Update([](RunSnapshot& s) { ++s.blocks_resent; });
}

void RunTrace::ErrorReported(const char* message) {
  Update([&](RunSnapshot& s) { s.last_error = Trimmed(message); });
}

void RunTrace::RunEnded(RunEnd end) {
  const WallTime now = wall_clock_();
  const std::uint32_t elapsed = clock_.TickCount() - started_tick_;
  Update([&](RunSnapshot& s) {
    s.end = end;
    s.ended = now;
    s.elapsed_ms = elapsed;
  });
  ended_.notify_all();
  TellStepListener();
}

}  // namespace zelt20
