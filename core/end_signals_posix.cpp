#include "core/end_signals.h"

#include <poll.h>

#include <array>
#include <csignal>
#include <thread>

#include "core/posix_pipe.h"

namespace zelt20 {
namespace {

struct Watched {
  int signal;
  StopCause cause;
};
constexpr std::array kWatched = {Watched{SIGINT, StopCause::kCtrlC},
                                 Watched{SIGTERM, StopCause::kSigterm},
                                 Watched{SIGHUP, StopCause::kSighup}};
// What the watch's thread reads for the end of the watch.
constexpr char kWatchEnds = 'q';

// The one thing the signal handler may reach: the write end of the live
// watch's pipe. It writes the signal's number as one byte.
volatile std::sig_atomic_t g_signal_pipe = -1;

void OnSignal(int signal) {
  const int saved_errno = errno;
  if (g_signal_pipe >= 0) {
    const char byte = static_cast<char>(signal);
    [[maybe_unused]] const ssize_t written = ::write(g_signal_pipe, &byte, 1);
  }
  errno = saved_errno;
}

}  // namespace

struct EndSignalWatch::Watch {
  PosixPipe pipe;
  std::array<struct sigaction, kWatched.size()> previous{};
  std::thread thread;
};

EndSignalWatch::EndSignalWatch(OnSignal on_signal) : watch_(std::make_unique<Watch>()) {
  Watch& watch = *watch_;
  watch.thread = std::thread([&watch, on_signal = std::move(on_signal)] {
    int count = 0;
    pollfd wake{watch.pipe.read_end, POLLIN, 0};
    for (;;) {
      if (::poll(&wake, 1, -1) < 0) {
        if (errno == EINTR) continue;
        return;
      }
      char byte = 0;
      if (::read(watch.pipe.read_end, &byte, 1) != 1) continue;
      if (byte == kWatchEnds) return;
      for (const Watched& watched : kWatched) {
        if (watched.signal == byte) on_signal(watched.cause, ++count);
      }
    }
  });
  g_signal_pipe = watch.pipe.write_end;
  struct sigaction action {};
  action.sa_handler = zelt20::OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (std::size_t i = 0; i < kWatched.size(); ++i) {
    sigaction(kWatched[i].signal, &action, &watch.previous[i]);
  }
}

EndSignalWatch::~EndSignalWatch() {
  for (std::size_t i = 0; i < kWatched.size(); ++i) {
    sigaction(kWatched[i].signal, &watch_->previous[i], nullptr);
  }
  g_signal_pipe = -1;
  watch_->pipe.Put(kWatchEnds);
  watch_->thread.join();
}

void IgnoreBrokenPipes() { std::signal(SIGPIPE, SIG_IGN); }

}  // namespace zelt20
