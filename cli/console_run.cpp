#include "cli/console_run.h"

#include <algorithm>
#include <cctype>
#include <string>

#include "cli/console_platform.h"
#include "core/cp1251.h"

namespace zelt20 {
namespace {

constexpr int kBarWidth = 40;

bool IsOkAnswer(std::string answer) {
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back()))) answer.pop_back();
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return answer == "ok" || answer == "o" || answer == "y" || answer == "yes";
}

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
  const int shown = std::clamp(position, 0, 100);
  const int filled = shown * kBarWidth / 100;
  std::fprintf(stderr, "\r[%s%s] %3d%%", std::string(static_cast<std::size_t>(filled), '#').c_str(),
               std::string(static_cast<std::size_t>(kBarWidth - filled), '.').c_str(), shown);
  std::fflush(stderr);
  progress_shown_ = true;
}

void ConsoleRun::ClearProgressLine() {
  if (!progress_shown_) return;
  std::fprintf(stderr, "\r%*s\r", kBarWidth + 8, "");
  progress_shown_ = false;
}

bool ConsoleRun::AskConfirmation(const char* text, const char* caption) {
  ClearProgressLine();
  WriteUtf8(stderr, "\n[" + Cp1251ToUtf8(caption) + "]\n" + Cp1251ToUtf8(text) + "\n");
  if (options_.assume_yes) {
    std::fprintf(stderr, "OK (--yes)\n");
    return true;
  }
  if (!options_.answers_from_terminal) {
    std::fprintf(stderr, "Cancel (no terminal to ask; --yes answers OK)\n");
    return false;
  }
  std::fprintf(stderr, "OK or Cancel? [ok/Cancel] ");
  std::fflush(stderr);
  char answer[32];
  // End of input or an interrupted read (Ctrl-C) counts as Cancel.
  return std::fgets(answer, sizeof answer, options_.answers) != nullptr && IsOkAnswer(answer);
}

void ConsoleRun::FinishRun() { ClearProgressLine(); }

}  // namespace zelt20
