#include "cli/question_desk.h"

#include "core/cp1251.h"

namespace zelt20 {

bool QuestionDesk::Ask(const std::string& about, const char* text, const char* caption) {
  std::lock_guard turn(turn_);
  const ConsoleBox box{Cp1251ToUtf8(caption), Cp1251ToUtf8(text), about};
  if (answering_ != BoxAnswering::kAskOnTerminal) {
    return AnswerBox(box, answering_, answers_, [&](std::string_view shown) { board_.Note(shown); });
  }
  if (cancelled_) {
    board_.Note("\n[" + box.caption + "] " + about + ": Cancel (stopping)\n");
    return false;
  }
  board_.Pause();
  const bool ok = AnswerBox(box, answering_, answers_, [&](std::string_view shown) { board_.Show(shown); });
  // Ctrl-C ended the wait for the answer: the prompt's line ends here.
  if (cancelled_) board_.Show("\n");
  board_.Resume();
  return ok;
}

void QuestionDesk::CancelAll() {
  cancelled_ = true;
  answers_.Cancel();
}

}  // namespace zelt20
