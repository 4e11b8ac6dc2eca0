// A clock for tests: time moves only when the code under test sleeps or a
// scripted station lets a read time out. Other threads may read it (a
// trace's snapshot taken while the run goes on).
#pragma once

#include <atomic>
#include <cstdint>

#include "core/clock.h"

namespace zelt20::test {

class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(std::uint32_t start = 0) : now_(start) {}
  std::uint32_t TickCount() override { return now_; }
  void Sleep(std::uint32_t milliseconds) override { now_ += milliseconds; }
  void Advance(std::uint32_t milliseconds) { now_ += milliseconds; }
  std::uint32_t Now() const { return now_; }

 private:
  std::atomic<std::uint32_t> now_;
};

}  // namespace zelt20::test
