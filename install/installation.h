// One installation run, from the operator's port text to the station's new
// firmware written into its PROM, on the worker thread.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "install/block_transfer.h"
#include "install/firmware_image.h"
#include "install/program_version.h"
#include "install/station_info.h"
#include "core/clock.h"
#include "link/serial_device.h"
#include "link/station_link.h"
#include "core/run_context.h"

namespace zelt20 {

// What a run needs from the machine it runs on.
struct InstallerPlatform {
  SerialDevice& device;
  Clock& clock;
  std::function<CalendarTime()> local_time;
};

// How a run ended, for front ends that report more than the window does
// (the console installer's exit status).
enum class RunOutcome {
  kNotRun,
  kEarlyEnd,   // nothing reached the station: bad port text, port not opened
  kInstalled,  // the success line was logged
  kFailed,     // a failure after the port was open
  kStopped,    // the operator pressed Stop or declined a box
};

// Stands for the installer process: the embedded image with its stamped
// header and the transfer counters, which outlive a run.
class Installer {
 public:
  explicit Installer(InstallerPlatform platform) : platform_(std::move(platform)) {}

  // 1 after an early end (nothing reached the station), 0 after a closing
  // end (success, failure or stop after the port was open). The port text is
  // the second argument; the count and the first are not used.
  int RunInstallation(RunContext& dialog, int argc, const char* const* argv);

  const TransferCounters& Counters() const { return counters_; }
  RunOutcome LastOutcome() const { return last_outcome_; }

 private:
  RunOutcome TalkToStation(RunContext& dialog, StationLink& link);
  RunOutcome TransferImage(RunContext& dialog, StationLink& link, std::uint16_t station_fullpack);

  InstallerPlatform platform_;
  FirmwareImage image_;
  TransferCounters counters_;
  RunOutcome last_outcome_ = RunOutcome::kNotRun;
};

// The worker thread's body: RunInstallation with an empty first argument
// and the window's port text.
int InstallThreadProc(Installer& installer, RunContext& dialog, const char* port_text);

// The port path "\\.\COM" + port text when the text is a port number:
// digits only, 1 to 255 (leading zeros allowed), and short enough that every
// line quoting the path fits the message buffer. Otherwise reports the
// wrong or missing number and returns none.
std::optional<std::string> PortPathFromText(const char* port_text, MessageLog& log);

// The first line of every log: the release the installer carries.
void LogInstallerRelease(LogSink& log);

// The platform's local time, as the run stamps it into the header.
CalendarTime LocalTimeNow();

}  // namespace zelt20
