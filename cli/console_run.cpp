#include "cli/console_run.h"

#include <algorithm>
#include <string>

#include "cli/console_platform.h"
#include "core/cp1251.h"

namespace zelt20 {
namespace {

constexpr int kBarWidth = 40;

}  // namespace

ConsoleRun::ConsoleRun(ConsoleOptions options) : options_(options) {
  log_.SetObserver([this](std::string_view appended) {
    ClearProgressLine();
    WriteUtf8(stdout, Cp1251ToUtf8(appended));
  });
}

void ConsoleRun::AppendLog(const char* text) {
  log_.Append(text);
  if (options_.log_copy != nullptr) options_.log_copy->AppendLog(text);
}

void ConsoleRun::SetProgressPosition(std::int32_t position) {
  if (!options_.progress_on_terminal) return;
  std::lock_guard lock(progress_mutex_);
  const int shown = std::clamp(position, 0, 100);
  const int filled = shown * kBarWidth / 100;
  std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
               std::string(static_cast<std::size_t>(kBarWidth - filled), '.').c_str(), shown);
  std::fflush(stderr);
  progress_shown_ = true;
}

void ConsoleRun::Tell(std::string_view line) {
  std::lock_guard lock(progress_mutex_);
  ClearProgressLineLocked();
  WriteUtf8(stderr, line);
}

void ConsoleRun::ClearProgressLine() {
  std::lock_guard lock(progress_mutex_);
  ClearProgressLineLocked();
}

void ConsoleRun::ClearProgressLineLocked() {
  if (!progress_shown_) return;
  std::fprintf(stderr, "\r%*s\r", kBarWidth + 8, "");
  progress_shown_ = false;
}

bool ConsoleRun::AskConfirmation(const char* text, const char* caption) {
  ClearProgressLine();
  return AnswerBox({Cp1251ToUtf8(caption), Cp1251ToUtf8(text), ""}, options_.answering,
                   options_.answers, [](std::string_view shown) { WriteUtf8(stderr, shown); });
}

void ConsoleRun::FinishRun() { ClearProgressLine(); }

}  // namespace zelt20
