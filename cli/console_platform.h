// What the console installer needs from the system it runs on: whether a
// stream is a terminal, Ctrl-C taken in one place, answers read from the
// terminal so that Ctrl-C can end the wait for one, and standard output
// and error that show UTF-8 text on a console and keep its bytes anywhere
// else.
#pragma once

#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace zelt20 {

bool IsTerminal(std::FILE* stream);

// Ctrl-C (POSIX: SIGINT; Windows: the console's Ctrl-C event) while the
// watch lives: `on_interrupt` runs once per Ctrl-C with how many have come
// so far, always on one thread that is no run's (POSIX: the watch's own,
// woken by the signal handler; Windows: the thread the system starts for
// console events). No Ctrl-C ends the program while the watch lives: the
// runs end as Stop ends them, each closing its port. One watch at a time.
class InterruptWatch {
 public:
  explicit InterruptWatch(std::function<void(int count)> on_interrupt);
  InterruptWatch(const InterruptWatch&) = delete;
  InterruptWatch& operator=(const InterruptWatch&) = delete;
  ~InterruptWatch();

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
