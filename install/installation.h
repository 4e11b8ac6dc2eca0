// One installation run, from the operator's port text to the station's new
// firmware written into its PROM, on the worker thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "install/block_transfer.h"
#include "install/firmware_image.h"
#include "install/program_version.h"
#include "install/run_observer.h"
#include "install/station_info.h"
#include "core/clock.h"
#include "link/port_path.h"
#include "link/serial_device.h"
#include "link/station_link.h"
#include "core/run_context.h"

namespace zelt20 {

// The run's fixed waits: after the station's record is printed, for a
// station that reboots into upgrader mode, and before the fullpack version
// query.
inline constexpr std::uint32_t kIdentifiedPauseMs = 5000;
inline constexpr std::uint32_t kRebootWaitMs = 8000;
inline constexpr std::uint32_t kBeforeFullpackQueryMs = 200;

// What a run needs from the machine it runs on.
struct InstallerPlatform {
  SerialDevice& device;
  PortResolver ports;
  Clock& clock;
  std::function<CalendarTime()> local_time;
};

// Stands for the installer process: the embedded image with its stamped
// header and the transfer counters, which outlive a run.
class Installer {
 public:
  explicit Installer(InstallerPlatform platform) : platform_(std::move(platform)) {}

  // One run with the port text the operator chose; the worker thread's
  // body. Its last action is the dialog's FinishRun. The observer hears
  // the run's steps as they come, its end before FinishRun.
  RunOutcome RunInstallation(RunContext& dialog, const char* port_text,
                             RunObserver& observer = NoObserver());

  const TransferCounters& Counters() const { return counters_; }
  // Why the last run could not open its port; none when it opened it or
  // never tried (a bad port text).
  const std::optional<DeviceFailure>& PortFailure() const { return port_failure_; }

 private:
  RunEnd TalkToStation(RunContext& dialog, StationLink& link, RunObserver& observer);
  RunEnd TransferImage(RunContext& dialog, StationLink& link, RunObserver& observer,
                       std::uint16_t station_fullpack);

  InstallerPlatform platform_;
  FirmwareImage image_;
  TransferCounters counters_;
  std::optional<DeviceFailure> port_failure_;
};

// The port when the text is a port number (ComNumberOfText) short enough
// that every line quoting its path fits the message buffer. Otherwise
// reports the wrong or missing number and returns none.
std::optional<ComPort> PortFromText(const char* port_text, MessageLog& log);

// The first line of every log: the release the installer carries.
void LogInstallerRelease(LogSink& log);

// The platform's local time, as the run stamps it into the header.
CalendarTime LocalTimeNow();

}  // namespace zelt20
