// A run context for tests: keeps the log text, the progress positions, the
// boxes asked and the end-of-run calls, and answers boxes from a script.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "core/log_text.h"
#include "core/run_context.h"

namespace zelt20::test {

class RecordingRun final : public RunContext {
 public:
  void AppendLog(const char* text) override {
    log_.Append(text);
    appends_.emplace_back(text);
    if (on_append_) on_append_(appends_.back());
  }
  void SetProgressPosition(std::int32_t position) override { progress_.push_back(position); }
  bool AskConfirmation(const char* text, const char* caption) override;
  void FinishRun() override { ++finish_count_; }

  // Called after every append with the text appended (Windows-1251).
  void OnAppend(std::function<void(const std::string&)> hook) { on_append_ = std::move(hook); }
  // Answers for the next boxes, in order; OK when none is left.
  void AnswerBoxes(std::deque<bool> answers) { answers_ = std::move(answers); }

  std::string Log() const { return std::string(log_.Text()); }
  // The log converted to UTF-8, for assertions written in Russian.
  std::string LogUtf8() const;
  const std::vector<std::string>& Appends() const { return appends_; }
  std::vector<std::string> AppendsUtf8() const;
  const std::vector<std::int32_t>& Progress() const { return progress_; }
  const std::vector<std::string>& BoxTexts() const { return box_texts_; }
  const std::vector<std::string>& BoxCaptions() const { return box_captions_; }
  int FinishCount() const { return finish_count_; }

 private:
  LogText log_;
  std::vector<std::string> appends_;
  std::vector<std::int32_t> progress_;
  std::deque<bool> answers_;
  std::vector<std::string> box_texts_;
  std::vector<std::string> box_captions_;
  int finish_count_ = 0;
  std::function<void(const std::string&)> on_append_;
};

}  // namespace zelt20::test
