// The 80-byte message buffer through which every log line of a run is
// formatted, and the two-append error report headed by "Ошибка:".
#pragma once

#include <array>
#include <cstddef>

#include "core/run_context.h"

#if defined(__GNUC__)
#define ZELT20_PRINTF(fmt, args) __attribute__((format(printf, fmt, args)))
#else
#define ZELT20_PRINTF(fmt, args)
#endif

namespace zelt20 {

// The four heading formats of an error report.
enum class ErrorHeading {
  kNewLine,           // "\r\n%s "  port, packet and identification failures
  kNewLineNoBlank,    // "\r\n%s"   station status codes
  kBlankNewLine,      // " \r\n%s " failures from the upgrader mode on
  kSameLine,          // "%s "      retries exhausted
};

// Hears every error report beside the log: the message line as formatted
// after the heading (Windows-1251, with its own blanks and line break), so
// that a watcher of the run never has to read the log text for it.
class ErrorReportHook {
 public:
  virtual ~ErrorReportHook() = default;
  virtual void ErrorReported(const char* message) = 0;
};

class MessageLog {
 public:
  static constexpr std::size_t kBufferSize = 80;

  explicit MessageLog(LogSink& sink) : sink_(&sink) {}

  // Formats into the message buffer and appends the result. A line that
  // does not fit is cut at 79 bytes; the buffer is never overrun.
  void Log(const char* format, ...) ZELT20_PRINTF(2, 3);

  // Error report: the heading with "Ошибка:", then the message line
  // formatted with line_format.
  void ReportErrorf(ErrorHeading heading, const char* line_format, ...) ZELT20_PRINTF(3, 4);

  // The most common report: the message on its own with "%s\r\n".
  void ReportError(ErrorHeading heading, const char* message) {
    ReportErrorf(heading, "%s\r\n", message);
  }

  // Every later error report also goes to the hook (none: to nobody).
  void SetErrorHook(ErrorReportHook* hook) { error_hook_ = hook; }

 private:
  std::array<char, kBufferSize> buffer_{};
  LogSink* sink_;
  ErrorReportHook* error_hook_ = nullptr;
};

// Formats into a buffer of the message buffer's size; returns true when the
// whole text fitted. Used where a caller must refuse rather than cut.
bool FitsMessageBuffer(const char* format, ...) ZELT20_PRINTF(1, 2);

}  // namespace zelt20
