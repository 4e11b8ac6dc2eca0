// What a run tells whoever watches it beside the operator (the record of
// the run, a table of several runs): the port, the steps reached, the
// station as identified, the boxes and their answers, the transfer's
// progress, the requests and blocks sent again, the errors reported and how
// the run ended. The run calls it on its own thread as it goes; every call
// does nothing unless a watcher overrides it, and none of them changes the
// run. Each run is handed its own observer.
#pragma once

#include <cstdint>
#include <string_view>

#include "core/message_log.h"
#include "install/station_info.h"
#include "link/exchange.h"
#include "link/port_path.h"

namespace zelt20 {

// How a run ended (our own result; the pattern is in core/checked.h), for
// front ends that report more than the window does (the console
// installer's exit status). Every end but kEarlyEnd is a closing end: the
// run had opened the port, and closed it.
enum class RunOutcome {
  kInstalled = 0,  // the success line was logged
  kEarlyEnd = 1,   // nothing reached the station: bad port text, port not opened
  kFailed = 2,     // a failure after the port was open
  kStopped = 3,    // the operator pressed Stop or declined a box
};

// The same end, as finely as a record tells it.
enum class RunEnd {
  kInstalled,
  kFailed,
  kStopped,         // Stop (or Ctrl-C) seen by the run
  kDeclined,        // a box answered with anything but OK
  kWrongPortText,   // no port number, or not one
  kPortNotOpened,
};

constexpr RunOutcome OutcomeOf(RunEnd end) {
  switch (end) {
    case RunEnd::kInstalled: return RunOutcome::kInstalled;
    case RunEnd::kFailed: return RunOutcome::kFailed;
    case RunEnd::kStopped:
    case RunEnd::kDeclined: return RunOutcome::kStopped;
    case RunEnd::kWrongPortText:
    case RunEnd::kPortNotOpened: return RunOutcome::kEarlyEnd;
  }
  return RunOutcome::kFailed;
}

// The steps of a run in the order it takes them.
enum class InstallStep {
  kPort,          // the port text checked, the port opened
  kIdentify,      // the identify request and the station's record
  kConfirm,       // a box is up
  kUpgraderMode,  // enter upgrader mode, and a rebooting station's wait
  kFullpack,      // the fullpack version query, and the fullpack when it is sent
  kHeader,        // the upgrader header
  kSegment,       // a code segment
  kProm,          // write PROM
};

struct StepAt {
  InstallStep step = InstallStep::kPort;
  int segment = -1;  // kSegment: the block's index, 0 to 26 (shown 1 to 27)
  bool operator==(const StepAt&) const = default;
};

class RunObserver : public ErrorReportHook {
 public:
  // The run has started with this port text (Windows-1251, as given).
  virtual void RunStarted(std::string_view /*port_text*/) {}
  // The port text names a port, which stands for this device.
  virtual void PortNamed(const ComPort& /*port*/, const ComDevice& /*device*/) {}
  virtual void PortOpened() {}
  virtual void StepReached(StepAt /*step*/) {}
  virtual void StationIdentified(const StationInfo& /*station*/) {}
  // The station's fullpack version, and whether the release's must go to
  // it; then, when it went, the station has accepted its last block.
  virtual void FullpackChosen(std::uint16_t /*station_version*/, bool /*needed*/) {}
  virtual void FullpackSent() {}
  // A box is up (Windows-1251 texts), and the operator's answer to it.
  virtual void BoxShown(const char* /*text*/, const char* /*caption*/) {}
  virtual void BoxAnswered(bool /*ok*/) {}
  // The run's transfer counters, after every counted chunk and every
  // change of the total.
  virtual void TransferProgress(std::int32_t /*bytes_sent*/, std::int32_t /*transfer_total*/) {}
  // The exchange sent a request a second time; the block transfer a whole
  // block.
  virtual void RequestResent() {}
  virtual void BlockResent(int /*block_index*/) {}
  // ErrorReported (ErrorReportHook): every error report's message line.
  void ErrorReported(const char* /*message*/) override {}
  // The port is closed (when it was open); the end-of-run routine follows.
  virtual void RunEnded(RunEnd /*end*/) {}
};

// An exchange's outcome passed on, with its resend told to the observer.
inline ExchangeOutcome Observed(ExchangeOutcome outcome, RunObserver& observer) {
  if (outcome.resent) observer.RequestResent();
  return outcome;
}

// The observer of a run that nobody watches.
inline RunObserver& NoObserver() {
  static RunObserver none;
  return none;
}

}  // namespace zelt20
