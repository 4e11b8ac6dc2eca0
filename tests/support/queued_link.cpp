#include "tests/support/queued_link.h"

#include <chrono>
#include <utility>

namespace zelt20::test {
namespace {

// Far beyond anything a passing test needs; only a fault gets near it.
constexpr std::chrono::seconds kServeBound{20};
// How often a waiting test looks at its condition again when no request
// comes: the condition may change on the worker thread alone.
constexpr std::chrono::milliseconds kLookAgain{1};

}  // namespace

bool QueuedLink::CarryOut(Request request) {
  return PostAndWait(
      [this](std::function<void()> job) {
        {
          std::lock_guard lock(mutex_);
          jobs_.push_back(std::move(job));
        }
        queued_.notify_all();
      },
      std::move(request));
}

std::size_t QueuedLink::Queued() {
  std::lock_guard lock(mutex_);
  return jobs_.size();
}

bool QueuedLink::ServeUntil(const std::function<bool()>& condition) {
  const auto bound = std::chrono::steady_clock::now() + kServeBound;
  while (!condition()) {
    std::function<void()> job;
    {
      std::unique_lock lock(mutex_);
      if (!queued_.wait_until(lock, std::min(bound, std::chrono::steady_clock::now() + kLookAgain),
                              [this] { return !jobs_.empty(); })) {
        if (std::chrono::steady_clock::now() >= bound) return false;
        continue;
      }
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    job();
  }
  return true;
}

}  // namespace zelt20::test
