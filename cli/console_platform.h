// What the console installer needs from the system it runs on: whether a
// stream is a terminal, Ctrl-C and the other requests to end taken in one
// place, answers read from the terminal so that Ctrl-C can end the wait
// for one, and standard output and error that show UTF-8 text on a console
// and keep its bytes anywhere else.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "core/stop_cause.h"

namespace zelt20 {

bool IsTerminal(std::FILE* stream);

// A request from outside to end the program's runs.
struct EndRequest {
  StopCause cause = StopCause::kCtrlC;
  int count = 1;  // the requests so far, this one included
  // When the system ends the program whatever it does (a closing console,
  // a logoff, a shutdown): by then every run's record must be kept. None:
  // the runs may take the time they need to end as Stop ends them.
  std::optional<std::chrono::steady_clock::time_point> deadline;
};

// Ctrl-C and the other ways a console program is asked to end, while the
// watch lives (POSIX: SIGINT, SIGTERM, SIGHUP; Windows: the console's
// Ctrl-C, Ctrl-Break, close, logoff and shutdown events): `on_end` runs
// once per request, on a thread that is no run's. None of them ends the
// program while the watch lives, but for a request with a deadline: once
// `on_end` has returned, the program ends with exit status 3. One watch
// at a time.
class EndWatch {
 public:
  explicit EndWatch(std::function<void(const EndRequest& request)> on_end);
  EndWatch(const EndWatch&) = delete;
  EndWatch& operator=(const EndWatch&) = delete;
  ~EndWatch();

 private:
  struct Watch;
  std::unique_ptr<Watch> watch_;
};

// The operator's answers, a line at a time from standard input.
class AnswerReader {
 public:
  virtual ~AnswerReader() = default;
  // The next line without its line break; none at the end of the input or
  // once cancelled.
  virtual std::optional<std::string> ReadLine() = 0;
  // Any thread: a pending read, and every read after it, ends with none.
  virtual void Cancel() = 0;
};

std::unique_ptr<AnswerReader> MakeStandardInputReader();

// Whether the terminal behind the stream redraws text in place (moves the
// cursor up, clears lines): on Windows this switches the console to
// terminal sequences, where it has them.
bool CanRedrawInPlace(std::FILE* stream);

// Standard output and error pass bytes unchanged from now on: on Windows no
// "\n" -> "\r\n" translation (the log brings its own "\r\n"). Nothing to do
// on POSIX.
void UseBinaryOutput();

// Writes UTF-8 text to the stream and flushes it. A Windows console gets it
// as UTF-16, whatever its code page; a file or pipe gets the bytes.
void WriteUtf8(std::FILE* stream, std::string_view text);

}  // namespace zelt20
