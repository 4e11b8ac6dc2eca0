#include "core/clock.h"

#include <chrono>
#include <thread>

namespace zelt20 {
namespace {

class SteadyClock final : public Clock {
 public:
  std::uint32_t TickCount() override {
    const auto since_start = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since_start).count());
  }
  void Sleep(std::uint32_t milliseconds) override {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
  }
};

}  // namespace

Clock& MonotonicClock() {
  static SteadyClock clock;
  return clock;
}

void WaitMilliseconds(Clock& clock, std::uint32_t milliseconds) {
  const std::uint32_t start = clock.TickCount();
  for (std::uint32_t elapsed = 0; elapsed < milliseconds; elapsed = clock.TickCount() - start) {
    clock.Sleep(milliseconds - elapsed);
  }
}

}  // namespace zelt20
