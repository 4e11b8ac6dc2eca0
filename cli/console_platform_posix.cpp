#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <stdexcept>
#include <thread>

#include "cli/console_platform.h"

namespace zelt20 {
namespace {

// The one thing the signal handler may reach: the write end of the live
// watch's pipe.
volatile std::sig_atomic_t g_interrupt_pipe = -1;

constexpr char kInterrupted = 'i';
constexpr char kWatchEnds = 'q';

void OnInterrupt(int) {
  const int saved_errno = errno;
  if (g_interrupt_pipe >= 0) {
    const char byte = kInterrupted;
    [[maybe_unused]] const ssize_t written = ::write(g_interrupt_pipe, &byte, 1);
  }
  errno = saved_errno;
}

// A pipe whose ends no child process inherits.
struct Pipe {
  int read_end = -1;
  int write_end = -1;

  Pipe() {
    int ends[2];
    if (::pipe(ends) != 0) throw std::runtime_error("no pipe for the console");
    read_end = ends[0];
    write_end = ends[1];
    ::fcntl(read_end, F_SETFD, FD_CLOEXEC);
    ::fcntl(write_end, F_SETFD, FD_CLOEXEC);
  }
  Pipe(const Pipe&) = delete;
  Pipe& operator=(const Pipe&) = delete;
  ~Pipe() {
    ::close(read_end);
    ::close(write_end);
  }

  void Put(char byte) const {
    while (::write(write_end, &byte, 1) < 0 && errno == EINTR) {
    }
  }
};

// Waits until one of the descriptors can be read; false when poll fails.
bool WaitReadable(pollfd* watch, nfds_t count) {
  while (::poll(watch, count, -1) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

class StandardInputReader final : public AnswerReader {
 public:
  std::optional<std::string> ReadLine() override {
    std::string line;
    while (!cancelled_) {
      pollfd watch[2] = {{STDIN_FILENO, POLLIN, 0}, {cancel_.read_end, POLLIN, 0}};
      if (!WaitReadable(watch, 2) || cancelled_) break;
      char c = 0;
      const ssize_t n = ::read(STDIN_FILENO, &c, 1);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) break;
      if (c == '\n') return line;
      line += c;
    }
    return std::nullopt;
  }

  void Cancel() override {
    cancelled_ = true;
    cancel_.Put(kWatchEnds);
  }

 private:
  Pipe cancel_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace

struct InterruptWatch::Watch {
  Pipe pipe;
  struct sigaction previous {};
  std::thread thread;
};

InterruptWatch::InterruptWatch(std::function<void(int count)> on_interrupt)
    : watch_(std::make_unique<Watch>()) {
  Watch& watch = *watch_;
  watch.thread = std::thread([&watch, on_interrupt = std::move(on_interrupt)] {
    int count = 0;
    pollfd wake{watch.pipe.read_end, POLLIN, 0};
    while (WaitReadable(&wake, 1)) {
      char byte = 0;
      if (::read(watch.pipe.read_end, &byte, 1) != 1) continue;
      if (byte == kWatchEnds) return;
      on_interrupt(++count);
    }
  });
  g_interrupt_pipe = watch.pipe.write_end;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, &watch.previous);
}

InterruptWatch::~InterruptWatch() {
  sigaction(SIGINT, &watch_->previous, nullptr);
  g_interrupt_pipe = -1;
  watch_->pipe.Put(kWatchEnds);
  watch_->thread.join();
}

std::unique_ptr<AnswerReader> MakeStandardInputReader() {
  return std::make_unique<StandardInputReader>();
}

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

bool CanRedrawInPlace(std::FILE* stream) { return IsTerminal(stream); }

void UseBinaryOutput() {}

void WriteUtf8(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace zelt20
