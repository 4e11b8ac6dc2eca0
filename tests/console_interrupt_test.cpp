// Ctrl-C at the console, as the signal itself: taken on the watch's own
// thread, the first stopping every run, a later one never ending the
// program.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/console_platform.h"
#include "cli/interrupt_stop.h"

namespace zelt20 {
namespace {

using namespace std::chrono_literals;

// Far beyond a signal's way through the pipe: only a lost one runs out.
constexpr auto kDeliveryLimit = 10s;

TEST(ConsoleInterrupt, FirstStopsEveryRunAndALaterOneOnlySaysSo) {
  std::mutex mutex;
  std::condition_variable changed;
  int stops = 0;
  std::vector<std::string> told;
  std::vector<std::thread::id> handled_on;

  {
    const InterruptWatch watch([&, handle = StopOnInterrupt(
                                       [&] { ++stops; },
                                       [&](std::string_view line) { told.emplace_back(line); })](int count) {
      std::lock_guard lock(mutex);
      handle(count);
      handled_on.push_back(std::this_thread::get_id());
      changed.notify_all();
    });
    for (std::size_t interrupts = 1; interrupts <= 3; ++interrupts) {
      std::raise(SIGINT);  // lands on this thread
      std::unique_lock lock(mutex);
      ASSERT_TRUE(changed.wait_for(lock, kDeliveryLimit, [&] { return handled_on.size() == interrupts; }));
    }
  }
  EXPECT_EQ(stops, 1);
  ASSERT_EQ(told.size(), 2u);
  EXPECT_TRUE(told[0].starts_with("zelt20-install: stopping: ")) << told[0];
  EXPECT_TRUE(told[0].ends_with("\n"));
  for (const std::thread::id id : handled_on) EXPECT_NE(id, std::this_thread::get_id());
}

}  // namespace
}  // namespace zelt20
