// The run context of the console installer: the log goes to standard output
// as UTF-8, boxes are asked on the terminal, progress is drawn on standard
// error when that is a terminal.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string_view>

#include "cli/confirmation.h"
#include "cli/console_platform.h"
#include "core/log_text.h"
#include "core/run_context.h"

namespace zelt20 {

struct ConsoleOptions {
  BoxAnswering answering = BoxAnswering::kCancelWithoutTerminal;
  AnswerReader& answers;  // where the operator's answers come from
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

  // A line on standard error from another thread (Ctrl-C's), not into the
  // middle of the progress bar.
  void Tell(std::string_view line);

 private:
  void ClearProgressLine();
  void ClearProgressLineLocked();

  ConsoleOptions options_;
  LogText log_;
  std::mutex progress_mutex_;
  bool progress_shown_ = false;
};

}  // namespace zelt20
