// The trace of one run: what the run has told its observer so far, kept so
// that other threads can read it while the run goes on (a record written
// when it ends or when the window closes under it, a table of several
// runs). Snapshots are copies, taken under the trace's lock.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "core/clock.h"
#include "core/stop_cause.h"
#include "install/run_observer.h"
#include "record/wall_time.h"

namespace zelt20 {

using WallClock = std::function<WallTime()>;

// A box the run showed, with the operator's answer (none while it is up).
struct BoxSeen {
  std::string text;  // Windows-1251, as shown
  std::string caption;
  std::optional<bool> ok;
  bool operator==(const BoxSeen&) const = default;
};

struct RunSnapshot {
  std::string run_id;  // a version 4 UUID made when the run started
  WallTime started;
  std::optional<WallTime> ended;
  // On the run's clock: up to now while it runs, up to its end after.
  std::uint32_t elapsed_ms = 0;

  std::string port_text;          // Windows-1251, as given
  std::optional<ComPort> port;    // when the text names a port
  std::optional<ComDevice> device;
  bool port_opened = false;

  StepAt step;  // the last step reached
  std::optional<StationInfo> station;
  std::optional<std::uint16_t> station_fullpack;
  bool fullpack_needed = false;  // the station's fullpack differs from the release's
  bool fullpack_sent = false;    // the station accepted the fullpack's last block
  std::vector<BoxSeen> boxes;

  std::int32_t bytes_sent = 0;
  std::int32_t transfer_total = 0;
  int requests_resent = 0;
  int blocks_resent = 0;
  // The last error report's message (Windows-1251), without the blanks and
  // line breaks around it.
  std::string last_error;

  std::optional<RunEnd> end;  // none while the run goes on
  // What asked the run to stop, the first that did; none when nothing did.
  std::optional<StopCause> stopped_by;
  std::string log_file;       // the log file's name; empty for none (yet)
};

class RunTrace : public RunObserver {
 public:
  using StepListener = std::function<void(const RunSnapshot&)>;

  // The run starts now, on both clocks: the run's own for its length, the
  // wall clock for when it happened.
  explicit RunTrace(Clock& clock = MonotonicClock(),
                    WallClock wall_clock = [] { return std::chrono::system_clock::now(); });

  // Any thread.
  virtual RunSnapshot Snapshot() const;

  // Set before the run starts: called on the run's thread, outside the
  // trace's lock, with the snapshot after every change of step and after
  // the end.
  void OnStepChange(StepListener listener) { step_listener_ = std::move(listener); }
  // Any thread: something asked the run to stop (the run itself learns it
  // from its run flags); the first cause is kept.
  void StopRequested(StopCause cause);
  // Any thread: waits until the run has ended, at most until `deadline`;
  // true when it has.
  bool WaitForEnd(std::chrono::steady_clock::time_point deadline) const;

  // RunObserver
  void RunStarted(std::string_view port_text) override;
  void PortNamed(const ComPort& port, const ComDevice& device) override;
  void PortOpened() override;
  void StepReached(StepAt step) override;
  void StationIdentified(const StationInfo& station) override;
  void FullpackChosen(std::uint16_t station_version, bool needed) override;
  void FullpackSent() override;
  void BoxShown(const char* text, const char* caption) override;
  void BoxAnswered(bool ok) override;
  void TransferProgress(std::int32_t bytes_sent, std::int32_t transfer_total) override;
  void RequestResent() override;
  void BlockResent(int block_index) override;
  void ErrorReported(const char* message) override;
  void RunEnded(RunEnd end) override;

 private:
  template <typename Change>
  void Update(Change change);
  void TellStepListener();

  Clock& clock_;
  WallClock wall_clock_;
  std::uint32_t started_tick_;
  StepListener step_listener_;
  mutable std::mutex mutex_;
  mutable std::condition_variable ended_;
  RunSnapshot state_;  // elapsed_ms kept only once ended
};

}  // namespace zelt20
