// Ctrl-C, SIGTERM and SIGHUP at the console, as the signals themselves:
// taken on the watch's own thread, the first stopping every run with its
// cause, a later one never ending the program.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "cli/console_platform.h"
#include "cli/stop_on_end.h"

namespace zelt20 {
namespace {

using namespace std::chrono_literals;

// Far beyond a signal's way through the pipe: only a lost one runs out.
constexpr auto kDeliveryLimit = 10s;

TEST(ConsoleEnd, FirstSignalStopsEveryRunWithItsCauseAndALaterOneOnlySaysSo) {
  const std::vector<int> signals = {SIGTERM, SIGINT, SIGHUP};
  std::mutex mutex;
  std::condition_variable changed;
  std::vector<StopCause> stops;
  std::vector<std::string> told;
  std::vector<std::thread::id> handled_on;
  {
    const EndWatch watch([&, handle = StopOnEnd(
                                 {.stop_all = [&](StopCause cause) { stops.push_back(cause); },
                                  .keep_records_by = [](auto) { ADD_FAILURE() << "no deadline on POSIX"; },
                                  .tell = [&](std::string_view line) { told.emplace_back(line); }})](
                             const EndRequest& request) {
      std::lock_guard lock(mutex);
      handle(request);
      handled_on.push_back(std::this_thread::get_id());
      changed.notify_all();
    });
    for (std::size_t sent = 1; sent <= signals.size(); ++sent) {
      std::raise(signals[sent - 1]);  // lands on this thread
      std::unique_lock lock(mutex);
      ASSERT_TRUE(changed.wait_for(lock, kDeliveryLimit, [&] { return handled_on.size() == sent; }));
    }
  }
  EXPECT_EQ(stops, std::vector<StopCause>{StopCause::kSigterm});
  ASSERT_EQ(told.size(), 2u);
  for (const std::string& line : told) {
    EXPECT_TRUE(line.starts_with("zelt20-install: stopping: ") && line.ends_with("\n")) << line;
  }
  for (const std::thread::id id : handled_on) EXPECT_NE(id, std::this_thread::get_id());
}

}  // namespace
}  // namespace zelt20
