#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "cli/console_platform.h"
#include "core/end_signals.h"
#include "core/posix_pipe.h"

namespace zelt20 {
namespace {

constexpr char kCancelled = 'c';

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
    cancel_.Put(kCancelled);
  }

 private:
  PosixPipe cancel_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace

struct EndWatch::Watch {
  explicit Watch(EndSignalWatch::OnSignal on_signal) : signals(std::move(on_signal)) {}
  EndSignalWatch signals;
};

// POSIX gives a program that a signal asks to end the time it needs.
EndWatch::EndWatch(std::function<void(const EndRequest& request)> on_end)
    : watch_(std::make_unique<Watch>(
          [on_end = std::move(on_end)](StopCause cause, int count) { on_end({cause, count, {}}); })) {}

EndWatch::~EndWatch() = default;

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
