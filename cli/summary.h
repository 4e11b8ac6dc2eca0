// How a console command of several runs ends: the summary on standard
// output, for scripts to keep, and the exit status.
#pragma once

#include <string>
#include <vector>

#include "cli/several_runs.h"

namespace zelt20 {

// The exit status of one run: 0 the success line was logged, 1 early end,
// 2 a failure after the port was open, 3 stopped or declined.
int ExitStatusOf(RunOutcome outcome);

// 0 when every run logged its success line; otherwise the most serious of
// the runs' own statuses: 2 before 3 before 1.
int SeveralExitStatus(const std::vector<SeveralRunEnd>& ends);

// A table with a row per run (port, station serial number, version before
// and after, whether the fullpack was sent, the end, the duration, the log
// file), then a line with the totals: installed, failed, stopped, not
// started.
std::string SummaryText(const std::vector<SeveralRunEnd>& ends);

}  // namespace zelt20
