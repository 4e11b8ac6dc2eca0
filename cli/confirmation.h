// A confirmation box on the console: its caption and text on standard
// error, then the answer as the operator's settings give it.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "cli/console_platform.h"

namespace zelt20 {

enum class BoxAnswering {
  kAssumeOk,               // --yes
  kCancelWithoutTerminal,  // nobody to ask
  kAskOnTerminal,
};

struct ConsoleBox {
  std::string caption;  // UTF-8
  std::string text;     // UTF-8, its line breaks as the box has them
  std::string about;    // the run it belongs to, "COM5, station 00042"; empty with one run
};

// Shows the box with `show` and answers it: OK with --yes, Cancel without
// a terminal, else the operator's answer read from `answers` (its end, or
// a read cancelled by Ctrl-C, is Cancel). `show` gets the box and the
// prompt before the answer is read, and the answer's line when there is no
// one to ask. True only for OK.
bool AnswerBox(const ConsoleBox& box, BoxAnswering answering, AnswerReader& answers,
               const std::function<void(std::string_view)>& show);

}  // namespace zelt20
