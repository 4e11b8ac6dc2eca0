// How late the installer's reply reads end as the station sees them, from
// zelt20-station's --timings lines: the time from a reply's last byte to
// the first byte of the request that follows it, less the interval time-out
// t that ends the installer's read of that reply.
//
// Only the gaps that nothing else fills count: those before a block chunk
// or the write PROM request, which the installer sends as soon as the read
// before it has ended. Before its other requests it pauses (after the
// station's record is printed, the reboot wait, before the fullpack version
// query), and no reply is read after enter upgrader mode.
//
// t follows from which request the simulator read (its kind, and whether it
// completed its block) and the read time-outs as the protocol is written
// (tests/support/run_times.h), not from the installer's own table.
#pragma once

#include <optional>
#include <string_view>
#include <vector>

namespace zelt20::bench {

struct ExchangeGap {
  double late_ms = 0;
  bool after_block = false;  // the reply confirmed a block (its last chunk)
};

// The gaps that count, in the order of the run; none when a line is not as
// zelt20-station --help describes it.
std::optional<std::vector<ExchangeGap>> GapsAtStation(std::string_view timings);

}  // namespace zelt20::bench
