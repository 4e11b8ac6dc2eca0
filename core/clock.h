// The clock seam: the installer's waits go through it, so that tests of long
// runs advance a virtual clock instead of sleeping.
#pragma once

#include <cstdint>

namespace zelt20 {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds on a monotonic counter that wraps at 2^32, like the
  // platform's tick counter.
  virtual std::uint32_t TickCount() = 0;
  virtual void Sleep(std::uint32_t milliseconds) = 0;
};

// The real program's clock: monotonic, never affected by changes of the
// wall-clock time.
Clock& MonotonicClock();

// Waits until `milliseconds` have passed on the clock, measured as an
// unsigned difference from the start so a wrapping counter does no harm.
// Sleeps rather than polls.
void WaitMilliseconds(Clock& clock, std::uint32_t milliseconds);

}  // namespace zelt20
