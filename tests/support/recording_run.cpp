#include "tests/support/recording_run.h"

#include "core/cp1251.h"

namespace zelt20::test {

bool RecordingRun::AskConfirmation(const char* text, const char* caption) {
  box_texts_.push_back(Cp1251ToUtf8(text));
  box_captions_.push_back(Cp1251ToUtf8(caption));
  if (answers_.empty()) return true;
  const bool answer = answers_.front();
  answers_.pop_front();
  return answer;
}

std::string RecordingRun::LogUtf8() const { return Cp1251ToUtf8(log_.Text()); }

std::vector<std::string> RecordingRun::AppendsUtf8() const {
  std::vector<std::string> out;
  out.reserve(appends_.size());
  for (const auto& text : appends_) out.push_back(Cp1251ToUtf8(text));
  return out;
}

}  // namespace zelt20::test
