#include "sim/line_server.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <thread>

namespace zelt20::sim {
namespace {

// Caps every wait so that a stop request is seen promptly.
constexpr std::chrono::milliseconds kLongestWait{100};
// While nobody holds the other end, poll reports that at once every time.
constexpr std::chrono::milliseconds kHangUpPause{20};
constexpr std::chrono::milliseconds kWriteRetry{20};

SteadyTime Now() { return std::chrono::steady_clock::now(); }

std::string Failure(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

}  // namespace

LineEnd LineServer::Run(const std::atomic<bool>& stop) {
  const SteadyTime started = Now();
  while (!stop) {
    SteadyTime now = Now();
    if (options_.timeout && now - started >= *options_.timeout) return LineEnd::kTimedOut;
    if (!SendDue(stop)) return LineEnd::kLineFailed;
    if (PromDone(Now())) return LineEnd::kPromWritten;

    pollfd watch{fd_, POLLIN, 0};
    const int ready = ::poll(&watch, 1, PollTimeoutMs(Now(), started));
    if (ready < 0 && errno != EINTR) {
      failure_ = Failure("poll");
      return LineEnd::kLineFailed;
    }
    now = Now();
    if (ready >= 0 && !TakeInput(ready > 0 ? watch.revents : 0, now)) return LineEnd::kLineFailed;
    AnswerEvents(now);
  }
  return LineEnd::kStopped;
}

bool LineServer::TakeInput(short revents, SteadyTime now) {
  if (revents == 0) {  // a quiet line that somebody holds: poll reports hang-ups at once
    NoteLineHeld(true);
    return true;
  }
  if ((revents & POLLIN) != 0) {
    std::uint8_t buffer[512];
    const ssize_t n = ::read(fd_, buffer, sizeof buffer);
    if (n > 0) {
      NoteLineHeld(true);
      // A rebooting station hears nothing.
      if (now >= deaf_until_) framer_.Feed({buffer, static_cast<std::size_t>(n)}, now);
      return true;
    }
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) return true;
    if (n < 0 && errno != EIO) {
      failure_ = Failure("read");
      return false;
    }
  }
  // Nobody holds the other end: the pty slave is closed (EIO, POLLHUP) or
  // the device hung up. Wait for the installer to open it again.
  NoteLineHeld(false);
  std::this_thread::sleep_for(kHangUpPause);
  return true;
}

void LineServer::NoteLineHeld(bool held) {
  if (held == line_held_) return;
  line_held_ = held;
  if (!held) framer_.Reset();  // half a request from a closed line is gone
  Log(held ? "line opened" : "line closed");
}

void LineServer::AnswerEvents(SteadyTime now) {
  while (auto event = framer_.Next(now)) {
    StationAnswer answer;
    {
      const std::lock_guard lock(model_mutex_);
      answer = model_.HandleLineEvent(*event);
    }
    Log(answer.summary);
    Schedule(answer, *event, now);
  }
}

void LineServer::Schedule(const StationAnswer& answer, const LineEvent& event, SteadyTime now) {
  SteadyTime at = now;
  if (options_.wire_time) {
    at = std::max(now, event.first_byte + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                              kByteTime * event.bytes.size()));
  }
  const ExchangeTimes exchange{answer.kind, answer.last_chunk, event.first_byte, std::nullopt};
  if (answer.bytes.empty()) {
    LogExchange(exchange);
  } else {
    Queue(at + answer.delay, answer.bytes, exchange);
  }
  if (answer.deaf.count() > 0) {
    deaf_until_ = now + answer.deaf;
    framer_.Reset();
    if (!answer.after_deaf.empty()) Queue(deaf_until_, answer.after_deaf);
  }
  if (answer.kind == RequestKind::kWriteProm && !answer.bytes.empty()) prom_answered_ = true;
}

// Answers leave in the order they were given.
void LineServer::Queue(SteadyTime due, std::vector<std::uint8_t> bytes,
                       std::optional<ExchangeTimes> answers) {
  if (!outbox_.empty()) due = std::max(due, outbox_.back().due);
  outbox_.push_back({due, std::move(bytes), answers});
}

bool LineServer::SendDue(const std::atomic<bool>& stop) {
  while (!outbox_.empty() && outbox_.front().due <= Now() && !stop) {
    Pending item = std::move(outbox_.front());
    outbox_.pop_front();
    // A real line keeps nothing for a port that is closed; a pty would hand
    // the bytes to the next open.
    if (NobodyListening()) {
      Log("an answer was lost: nobody holds the line");
      LogExchange(item.answers);
      continue;
    }
    const Sent sent = WritePaced(item.bytes, stop);
    if (sent == Sent::kFailed) return false;
    // The write of the last byte has just returned: nothing waits after it.
    if (sent == Sent::kWhole && item.answers) item.answers->reply_last_byte = Now();
    LogExchange(item.answers);
  }
  return true;
}

bool LineServer::NobodyListening() const {
  pollfd watch{fd_, 0, 0};
  return ::poll(&watch, 1, 0) > 0 && (watch.revents & POLLHUP) != 0;
}

LineServer::Sent LineServer::WritePaced(const std::vector<std::uint8_t>& bytes,
                                        const std::atomic<bool>& stop) {
  if (!options_.wire_time) return WriteNow(bytes.data(), bytes.size(), stop);
  // Byte k goes when k byte times have passed since the first one.
  const SteadyTime start = Now();
  std::size_t sent = 0;
  while (sent < bytes.size() && !stop) {
    const auto due = static_cast<std::size_t>((Now() - start) / kByteTime) + 1;
    const std::size_t upto = std::min(bytes.size(), due);
    if (upto > sent) {
      if (const Sent written = WriteNow(bytes.data() + sent, upto - sent, stop); written != Sent::kWhole) {
        return written;
      }
      sent = upto;
    }
    if (sent < bytes.size()) {
      std::this_thread::sleep_until(
          start + std::chrono::duration_cast<std::chrono::steady_clock::duration>(kByteTime * sent));
    }
  }
  return sent == bytes.size() ? Sent::kWhole : Sent::kLost;
}

LineServer::Sent LineServer::WriteNow(const std::uint8_t* data, std::size_t count,
                                      const std::atomic<bool>& stop) {
  std::size_t written = 0;
  while (written < count && !stop) {
    const ssize_t n = ::write(fd_, data + written, count - written);
    if (n > 0) {
      written += static_cast<std::size_t>(n);
    } else if (n < 0 && errno == EAGAIN) {
      pollfd watch{fd_, POLLOUT, 0};
      ::poll(&watch, 1, static_cast<int>(kWriteRetry.count()));
    } else if (n < 0 && errno == EIO) {
      Log("an answer was lost: nobody holds the line");
      return Sent::kLost;
    } else if (!(n < 0 && errno == EINTR)) {
      failure_ = Failure("write");
      return Sent::kFailed;
    }
  }
  return written == count ? Sent::kWhole : Sent::kLost;
}

bool LineServer::PromDone(SteadyTime now) {
  if (!options_.exit_after_prom || !prom_answered_ || !outbox_.empty()) return false;
  if (!linger_until_) linger_until_ = now + kPromLinger;
  return !line_held_ || now >= *linger_until_;
}

int LineServer::PollTimeoutMs(SteadyTime now, SteadyTime started) const {
  SteadyTime wake = now + kLongestWait;
  if (const auto deadline = framer_.Deadline()) wake = std::min(wake, *deadline);
  if (!outbox_.empty()) wake = std::min(wake, outbox_.front().due);
  if (linger_until_) wake = std::min(wake, *linger_until_);
  if (options_.timeout) wake = std::min(wake, started + *options_.timeout);
  // Rounded up: a wait rounded down to 0 ms would spin until the deadline.
  const auto wait = std::chrono::ceil<std::chrono::milliseconds>(wake - now);
  return static_cast<int>(std::max<std::chrono::milliseconds::rep>(wait.count(), 0));
}

void LineServer::Log(const std::string& text) const {
  if (options_.activity_log) options_.activity_log(text);
}

void LineServer::LogExchange(const std::optional<ExchangeTimes>& exchange) const {
  if (exchange && options_.exchange_log) options_.exchange_log(*exchange);
}

}  // namespace zelt20::sim
