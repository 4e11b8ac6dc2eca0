#include "tests/support/scripted_station.h"

#include <algorithm>

#include "sim/station_reply.h"
#include "sim/station_request.h"

namespace zelt20::test {

Bytes ReplyBytes(std::uint16_t command, std::uint16_t status, const Bytes& payload) {
  Frame frame{};
  const std::size_t n = sim::FrameReply(command, status, payload.size(), payload.data(), frame);
  return Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
}

Bytes StatusReply(std::uint16_t status, const Bytes& payload) {
  return ReplyBytes(sim::command::kUpgrade, status, payload);
}

Bytes RequestBytes(std::uint16_t command, std::uint16_t selector, const Bytes& payload) {
  Frame frame{};
  const std::size_t n = FrameRequest(command, selector, payload.size(), payload.data(), frame);
  return Bytes(frame.begin(), frame.begin() + static_cast<std::ptrdiff_t>(n));
}

bool ScriptedStation::Open(const std::string& port_path) {
  open_failure_.reset();
  if (open_error_ != 0) {
    open_failure_ = DeviceFailure{port_path, open_error_};
    return false;
  }
  opened_path_ = port_path;
  open_ = true;
  ++open_count_;
  return true;
}

bool ScriptedStation::SetTimeouts(const ReadTimeouts& timeouts) {
  if (timeouts_left_ == 0) return false;
  if (timeouts_left_ > 0) --timeouts_left_;
  timeouts_ = timeouts;
  timeout_history_.push_back(timeouts.interval_ms);
  return true;
}

std::size_t ScriptedStation::Read(std::uint8_t* buffer, std::size_t capacity) {
  ++read_count_;
  if (on_read_) on_read_();
  if (inbound_.empty()) {
    clock_.Advance(static_cast<std::uint32_t>(timeouts_.total_multiplier_ms * capacity +
                                              timeouts_.total_constant_ms));
    return 0;
  }
  const std::size_t n = std::min(capacity, inbound_.size());
  std::copy_n(inbound_.begin(), n, buffer);
  inbound_.erase(inbound_.begin(), inbound_.begin() + static_cast<std::ptrdiff_t>(n));
  if (n < capacity) clock_.Advance(timeouts_.interval_ms);
  return n;
}

WriteOutcome ScriptedStation::Write(const std::uint8_t* data, std::size_t count) {
  if (failing_writes_ > 0) {
    --failing_writes_;
    return {};
  }
  Bytes request(data, data + count);
  requests_.push_back(request);
  if (on_write_) on_write_(request);
  Bytes answer;
  if (!script_.empty()) {
    answer = std::move(script_.front());
    script_.pop_front();
  } else if (default_answer_) {
    answer = default_answer_(request);
  }
  Inject(answer);
  return {true, count};
}

// Every close counts, also of a closed device: the port must not close
// twice what it opened once.
void ScriptedStation::Close() {
  open_ = false;
  ++close_count_;
}

}  // namespace zelt20::test
