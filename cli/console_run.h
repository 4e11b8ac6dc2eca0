// The run context of the console installer: the log goes to standard output
// as UTF-8, boxes are asked on the terminal, progress is drawn on standard
// error when that is a terminal.
#pragma once

#include <cstdint>
#include <cstdio>

#include "core/log_text.h"
#include "core/run_context.h"

namespace zelt20 {

struct ConsoleOptions {
  bool assume_yes = false;       // answer OK to every box
  std::FILE* answers = stdin;    // where the operator's answers come from
  bool answers_from_terminal = false;
  bool progress_on_terminal = false;
  // Gets every append of the log as well (the run's log file); none: nobody.
  LogSink* log_copy = nullptr;
};

class ConsoleRun final : public RunContext {
 public:
  explicit ConsoleRun(ConsoleOptions options);

  void AppendLog(const char* text) override;
  void SetProgressPosition(std::int32_t position) override;
  bool AskConfirmation(const char* text, const char* caption) override;
  void FinishRun() override;

 private:
  void ClearProgressLine();

  ConsoleOptions options_;
  LogText log_;
  bool progress_shown_ = false;
};

}  // namespace zelt20
