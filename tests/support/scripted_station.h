// A station behind the serial device interface, scripted reply by reply,
// with the read semantics of the real port on a virtual clock: a silent
// line costs the whole total time-out, a reply that does not fill the read
// costs the interval time-out after it. Long exchanges run instantly.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "link/packet.h"
#include "link/serial_device.h"
#include "tests/support/virtual_clock.h"

namespace zelt20::test {

using Bytes = std::vector<std::uint8_t>;

// A reply frame as the station sends it.
Bytes ReplyBytes(std::uint16_t command, std::uint16_t status, const Bytes& payload = {});
// A plain reply (upgrade command word) with just a status.
Bytes StatusReply(std::uint16_t status, const Bytes& payload = {});
// A request frame as the installer sends it.
Bytes RequestBytes(std::uint16_t command, std::uint16_t selector, const Bytes& payload = {});

class ScriptedStation final : public SerialDevice {
 public:
  explicit ScriptedStation(VirtualClock& clock) : clock_(clock) {}

  // What the station answers to the next request that has none scripted
  // yet: bytes (possibly none, for silence).
  void Answer(Bytes reply) { script_.push_back(std::move(reply)); }
  void AnswerSilence() { script_.emplace_back(); }
  // Requests with no scripted answer get this one (default: silence).
  void SetDefaultAnswer(std::function<Bytes(const Bytes& request)> answer) {
    default_answer_ = std::move(answer);
  }
  // Called with every request written, before the answer is queued.
  void OnWrite(std::function<void(const Bytes& request)> hook) { on_write_ = std::move(hook); }
  // Called at every read, before it takes anything from the line.
  void OnRead(std::function<void()> hook) { on_read_ = std::move(hook); }
  // Bytes already waiting on the line (as after a reboot).
  void Inject(const Bytes& bytes) { inbound_.insert(inbound_.end(), bytes.begin(), bytes.end()); }

  // Opening fails with this system error code (0: opening succeeds).
  void FailOpen(int error = 2) { open_error_ = error; }
  void FailLineSettings() { fail_line_settings_ = true; }
  void FailTimeoutsAfter(int successful_calls) { timeouts_left_ = successful_calls; }
  void FailWrites(int count) { failing_writes_ = count; }

  const std::vector<Bytes>& Requests() const { return requests_; }
  const std::vector<std::uint32_t>& TimeoutHistory() const { return timeout_history_; }
  std::uint32_t CurrentTimeout() const { return timeouts_.interval_ms; }
  const std::string& OpenedPath() const { return opened_path_; }
  int OpenCount() const { return open_count_; }
  int CloseCount() const { return close_count_; }
  int ReadCount() const { return read_count_; }

  bool Open(const std::string& port_path) override;
  bool ApplyLineSettings() override { return !fail_line_settings_; }
  bool SetTimeouts(const ReadTimeouts& timeouts) override;
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override;
  WriteOutcome Write(const std::uint8_t* data, std::size_t count) override;
  void Close() override;
  bool IsOpen() const override { return open_; }
  std::optional<DeviceFailure> LastOpenFailure() const override { return open_failure_; }

 private:
  VirtualClock& clock_;
  std::deque<Bytes> script_;
  std::function<Bytes(const Bytes&)> default_answer_;
  std::function<void(const Bytes&)> on_write_;
  std::function<void()> on_read_;
  std::deque<std::uint8_t> inbound_;
  std::vector<Bytes> requests_;
  std::vector<std::uint32_t> timeout_history_;
  ReadTimeouts timeouts_{};
  std::string opened_path_;
  bool open_ = false;
  int open_error_ = 0;
  std::optional<DeviceFailure> open_failure_;
  bool fail_line_settings_ = false;
  int timeouts_left_ = -1;
  int failing_writes_ = 0;
  int open_count_ = 0;
  int close_count_ = 0;
  int read_count_ = 0;
};

}  // namespace zelt20::test
