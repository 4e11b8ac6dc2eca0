// One resend, for a request and for a whole block alike: at most two
// attempts, a line announcing the second, and after two failed attempts the
// one report "исчерпано число перезапросов".
#pragma once

#include <optional>

#include "core/cp1251.h"
#include "core/message_log.h"

namespace zelt20 {

// `attempt` returns how the operation ended, or none when the attempt failed
// and the resend is due. Returns none when both attempts failed.
template <typename Attempt>
auto RunWithOneResend(MessageLog& log, const char* resend_line, Attempt attempt)
    -> decltype(attempt()) {
  for (int number = 1; number <= 2; ++number) {
    if (number == 2) log.Log("%s\r\n", resend_line);
    if (auto end = attempt()) return end;
  }
  log.ReportError(ErrorHeading::kSameLine, "исчерпано число перезапросов"_cp1251);
  return std::nullopt;
}

}  // namespace zelt20
