#include "core/message_log.h"

#include <cstdarg>
#include <cstdio>

#include "core/cp1251.h"

namespace zelt20 {
namespace {

struct HeadingText {
  const char* before;
  const char* after;
};

HeadingText HeadingAround(ErrorHeading heading) {
  switch (heading) {
    case ErrorHeading::kNewLine: return {"\r\n", " "};
    case ErrorHeading::kNewLineNoBlank: return {"\r\n", ""};
    case ErrorHeading::kBlankNewLine: return {" \r\n", " "};
    case ErrorHeading::kSameLine: return {"", " "};
  }
  return {"\r\n", " "};
}

}  // namespace

void MessageLog::Log(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::vsnprintf(buffer_.data(), buffer_.size(), format, args);
  va_end(args);
  sink_->AppendLog(buffer_.data());
}

void MessageLog::ReportErrorf(ErrorHeading heading, const char* line_format, ...) {
  const HeadingText around = HeadingAround(heading);
  Log("%s%s%s", around.before, "Ошибка:"_cp1251, around.after);
  va_list args;
  va_start(args, line_format);
  std::vsnprintf(buffer_.data(), buffer_.size(), line_format, args);
  va_end(args);
  sink_->AppendLog(buffer_.data());
  if (error_hook_ != nullptr) error_hook_->ErrorReported(buffer_.data());
}

bool FitsMessageBuffer(const char* format, ...) {
  std::array<char, MessageLog::kBufferSize> scratch{};
  va_list args;
  va_start(args, format);
  const int needed = std::vsnprintf(scratch.data(), scratch.size(), format, args);
  va_end(args);
  return needed >= 0 && static_cast<std::size_t>(needed) < scratch.size();
}

}  // namespace zelt20
