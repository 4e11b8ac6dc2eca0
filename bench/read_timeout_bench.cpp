// How late the serial port's reads end against the time their time-outs
// set, over a pseudo-terminal, for the two read time-outs the exchange uses
// most: a silent line and a reply followed by silence. Prints the median,
// 99th percentile and worst lateness per case.
#include <array>

#include "bench/read_lateness.h"

int main() {
  using zelt20::bench::ReadCase;
  // Fewer reads at 150 ms keep the whole run at about a minute and a half.
  constexpr std::array<zelt20::bench::LatenessCase, 4> kCases{{
      {ReadCase::kSilentLine, 75, 200},
      {ReadCase::kReplyThenSilence, 75, 200},
      {ReadCase::kSilentLine, 150, 100},
      {ReadCase::kReplyThenSilence, 150, 100},
  }};
  const auto results = zelt20::bench::MeasureReadLateness(kCases);
  if (!results) return 1;
  for (const auto& result : *results) zelt20::bench::PrintLateness(result);
  return 0;
}
