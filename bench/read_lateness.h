// How late the serial port's reads end against the time their time-outs
// set, over a pseudo-terminal: a silent line (due t x (capacity + 1) after
// the read began) and a reply followed by silence (due t after the reply's
// last byte, as every reply read of an installation ends).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zelt20::bench {

enum class ReadCase { kSilentLine, kReplyThenSilence };

struct LatenessCase {
  ReadCase kind = ReadCase::kReplyThenSilence;
  std::uint32_t t = 75;  // interval, multiplier and constant, in ms
  int reads = 0;
};

// Milliseconds after the due time at which the reads returned. The worst
// read shows the machine's scheduling as much as the port; the 99th
// percentile shows the port's own spread.
struct LatenessSummary {
  std::size_t reads = 0;
  double median_ms = 0;
  double p99_ms = 0;
  double worst_ms = 0;
};

// Of lateness figures in ms, in any order; all zero for none.
LatenessSummary Summarize(std::vector<double> late);

struct LatenessResult {
  LatenessCase measured;
  LatenessSummary summary;
};

// Opens a fresh pseudo-terminal, opens the platform's serial port on its
// slave as the installer does, and measures the cases in order. None when
// the port cannot be opened on the pty.
std::optional<std::vector<LatenessResult>> MeasureReadLateness(std::span<const LatenessCase> cases);

// One line per case: name, t, reads, median, p99, worst.
void PrintLateness(const LatenessResult& result);

}  // namespace zelt20::bench
