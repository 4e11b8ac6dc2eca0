// What a request to end (Ctrl-C, a signal, a closing console) does to the
// console's runs. The first stops every run as the Stop button does, and
// names its cause in each run's record. A run waiting in its pause, its
// reboot wait or its drain read notices only at its next request, up to a
// minute later; a later request must not end the program under it (its
// port would be left to the system to close, its record lost), so it only
// says so. A request with a deadline (the console closing, a logoff, a
// shutdown) stops the runs too, and then keeps every run's record before
// the deadline: the program ends once it has.
#pragma once

#include <chrono>
#include <functional>
#include <string_view>

#include "cli/console_platform.h"

namespace zelt20 {

struct RunsToEnd {
  std::function<void(StopCause cause)> stop_all;
  // Returns once every run's record is kept, at the deadline at the latest.
  std::function<void(std::chrono::steady_clock::time_point deadline)> keep_records_by;
  // One line for the operator, its "\n" included.
  std::function<void(std::string_view line)> tell;
};

// For EndWatch.
std::function<void(const EndRequest& request)> StopOnEnd(RunsToEnd runs);

}  // namespace zelt20
