// What Ctrl-C does to the console's runs. The first stops every run as the
// Stop button does. A run waiting in its pause, its reboot wait or its
// drain read notices only at its next request, up to a minute later; a
// later Ctrl-C must not end the program under it (its port would be left
// to the system to close, its record lost), so it only says so.
#pragma once

#include <functional>
#include <string_view>

namespace zelt20 {

// For InterruptWatch: `stop_all` on the first Ctrl-C, `tell` with one line
// (its "\n" included) on every later one.
std::function<void(int count)> StopOnInterrupt(std::function<void()> stop_all,
                                               std::function<void(std::string_view line)> tell);

}  // namespace zelt20
