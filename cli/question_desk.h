// The boxes of several runs, asked on the console one at a time: a run
// whose box comes while another's is up waits its turn, the other runs go
// on. The board falls silent while a box waits for the operator.
#pragma once

#include <atomic>
#include <mutex>
#include <string>

#include "cli/confirmation.h"
#include "cli/console_platform.h"
#include "cli/run_board.h"

namespace zelt20 {

class QuestionDesk {
 public:
  QuestionDesk(BoxAnswering answering, AnswerReader& answers, RunBoard& board)
      : answering_(answering), answers_(answers), board_(board) {}

  // Any run's thread; true only for OK. `about` names the run's port and
  // station; text and caption are the box's own (Windows-1251).
  bool Ask(const std::string& about, const char* text, const char* caption);

  // After Ctrl-C: the box waiting for an answer, and every later one, is
  // Cancel without asking.
  void CancelAll();

 private:
  const BoxAnswering answering_;
  AnswerReader& answers_;
  RunBoard& board_;
  std::mutex turn_;
  std::atomic<bool> cancelled_{false};
};

}  // namespace zelt20
