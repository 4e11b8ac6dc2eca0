// Whole installations as an operator would run them against simulated
// stations: zelt20-station, by default with the wire time of a 19200-baud
// line, and the console installer zelt20-install --yes as a separate
// process, so that its wall and CPU time are its own. The installer's
// standard error is a terminal, so it draws its progress bar as it does for
// an operator.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tests/support/child_process.h"

namespace zelt20::bench {

struct InstallationPrograms {
  std::string installer;  // zelt20-install
  std::string station;    // zelt20-station
};

struct InstallationSetup {
  int stations = 1;  // with several, one installer installs them all at once
  bool records = true;  // a fresh records folder; false: --no-records (one station only)
  bool wire_time = true;  // the stations pace their lines like 19200 baud
};

struct InstallationRun {
  double wall_seconds = 0;  // from starting the installer until it ended
  test::ChildEnd installer;  // exit status and resource usage
  // One station per port, COM1, COM2, ... in order: how each ended, the
  // simulator's report and its --timings lines.
  std::vector<test::ChildEnd> stations;
  std::vector<std::string> station_reports;
  std::vector<std::string> station_timings;
  // The installer's standard output: with one station its log (UTF-8),
  // with several the summary.
  std::string log;
  std::size_t terminal_bytes = 0;  // what the installer wrote on its terminal
};

// A run that starts but fails is returned as it ended; the caller judges
// it. Throws std::runtime_error (std::system_error among them) when a
// program cannot be started or a station does not tell its line.
InstallationRun RunInstallation(const InstallationPrograms& programs, const InstallationSetup& setup = {});

// The number of requests of one kind ("segment", "fullpack", ...) that the
// simulator's report counts; none when the report does not say.
std::optional<int> ReportedRequests(std::string_view report, std::string_view kind);

}  // namespace zelt20::bench
