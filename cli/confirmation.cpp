#include "cli/confirmation.h"

#include <algorithm>
#include <cctype>
#include <optional>

namespace zelt20 {
namespace {

bool IsOkAnswer(std::string answer) {
  while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back()))) answer.pop_back();
  std::transform(answer.begin(), answer.end(), answer.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return answer == "ok" || answer == "o" || answer == "y" || answer == "yes";
}

}  // namespace

bool AnswerBox(const ConsoleBox& box, BoxAnswering answering, AnswerReader& answers,
               const std::function<void(std::string_view)>& show) {
  const std::string about = box.about.empty() ? "" : " " + box.about;
  const std::string shown = "\n[" + box.caption + "]" + about + "\n" + box.text + "\n";
  switch (answering) {
    case BoxAnswering::kAssumeOk:
      show(shown + "OK (--yes)\n");
      return true;
    case BoxAnswering::kCancelWithoutTerminal:
      show(shown + "Cancel (no terminal to ask; --yes answers OK)\n");
      return false;
    case BoxAnswering::kAskOnTerminal: break;
  }
  show(shown + "OK or Cancel? [ok/Cancel] ");
  const std::optional<std::string> answer = answers.ReadLine();
  return answer && IsOkAnswer(*answer);
}

}  // namespace zelt20
