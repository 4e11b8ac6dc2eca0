// The window thread of the toolkit-free window tests: the worker's
// requests queue up, and the test's own thread carries them out whenever it
// serves the window, as a toolkit's event loop would.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>

#include "ui/worker_link.h"

namespace zelt20::test {

class QueuedLink final : public WorkerLink {
 public:
  // Carries out the queued requests until the condition holds; false after
  // a generous bound, so that a fault fails the test instead of hanging it.
  bool ServeUntil(const std::function<bool()>& condition);
  // Requests handed over and not carried out yet.
  std::size_t Queued();

 protected:
  bool CarryOut(Request request) override;

 private:
  std::mutex mutex_;
  std::condition_variable queued_;
  std::deque<std::function<void()>> jobs_;
};

}  // namespace zelt20::test
