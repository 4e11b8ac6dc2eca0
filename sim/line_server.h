// Serves one station line: reads what the installer writes, frames it into
// requests, lets the station model answer, and writes the answers when they
// are due, optionally at the pace of a real 19200-baud line. Survives the
// installer closing and reopening its end of the line.
#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/request_framer.h"
#include "sim/station_model.h"

namespace zelt20::sim {

// One byte at 19200 baud with 8N1 framing: 10 bits.
inline constexpr std::chrono::nanoseconds kByteTime{520833};

// One request and its reply as the line carried them, on the steady clock.
struct ExchangeTimes {
  RequestKind kind = RequestKind::kUnknown;
  bool last_chunk = false;  // a block chunk that completes its block message
  SteadyTime request_first_byte{};
  // Just after the write that handed the reply's last byte to the line
  // (with wire_time, once paced); none when no reply went out whole.
  std::optional<SteadyTime> reply_last_byte;
};

struct LineOptions {
  // Everything the station writes goes at 19200 baud, and a request counts
  // as received only once its bytes would have crossed such a line.
  bool wire_time = false;
  // End once a write PROM request has been answered and the installer has
  // closed the line, or kPromLinger after that answer.
  bool exit_after_prom = false;
  std::optional<std::chrono::milliseconds> timeout;
  // Receives one line per request and per opening and closing of the line.
  std::function<void(const std::string&)> activity_log;
  // Receives every request once its reply has gone out, or once it is
  // clear that none will. Called on the server's thread.
  std::function<void(const ExchangeTimes&)> exchange_log;
};

inline constexpr std::chrono::seconds kPromLinger{5};

enum class LineEnd { kStopped, kTimedOut, kPromWritten, kLineFailed };

class LineServer {
 public:
  // `fd` is the station's end of the line; the model is used under
  // `model_mutex` only.
  LineServer(int fd, StationModel& model, std::mutex& model_mutex, LineOptions options)
      : fd_(fd), model_(model), model_mutex_(model_mutex), options_(std::move(options)) {}

  // Serves until `stop` is set or an end condition of the options is met.
  LineEnd Run(const std::atomic<bool>& stop);
  // Why the line failed (LineEnd::kLineFailed).
  const std::string& FailureText() const { return failure_; }

 private:
  struct Pending {
    SteadyTime due;
    std::vector<std::uint8_t> bytes;
    std::optional<ExchangeTimes> answers;  // none: not a reply (boot noise)
  };
  // How the writing of an answer ended.
  enum class Sent { kWhole, kLost, kFailed };

  bool TakeInput(short revents, SteadyTime now);
  void NoteLineHeld(bool held);
  void AnswerEvents(SteadyTime now);
  void Schedule(const StationAnswer& answer, const LineEvent& event, SteadyTime now);
  void Queue(SteadyTime due, std::vector<std::uint8_t> bytes,
             std::optional<ExchangeTimes> answers = std::nullopt);
  bool SendDue(const std::atomic<bool>& stop);
  bool NobodyListening() const;
  Sent WritePaced(const std::vector<std::uint8_t>& bytes, const std::atomic<bool>& stop);
  Sent WriteNow(const std::uint8_t* data, std::size_t count, const std::atomic<bool>& stop);
  void LogExchange(const std::optional<ExchangeTimes>& exchange) const;
  bool PromDone(SteadyTime now);
  int PollTimeoutMs(SteadyTime now, SteadyTime started) const;
  void Log(const std::string& text) const;

  int fd_;
  StationModel& model_;
  std::mutex& model_mutex_;
  LineOptions options_;
  RequestFramer framer_;
  std::deque<Pending> outbox_;
  SteadyTime deaf_until_{};
  bool line_held_ = false;
  bool prom_answered_ = false;
  std::optional<SteadyTime> linger_until_;
  std::string failure_;
};

}  // namespace zelt20::sim
