// The log text: everything the installer has told the operator, as one
// zero-terminated Windows-1251 text in a 64,004-byte buffer. Lines are
// separated by CR LF exactly as the callers format them; appends add nothing
// of their own.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <string_view>

namespace zelt20 {

class LogText {
 public:
  static constexpr std::size_t kCapacity = 64004;
  static constexpr std::size_t kMaxLength = kCapacity - 1;

  // Called after every append with the text just appended, so a front end
  // can show the log (a pane takes Text(), a console prints the piece).
  using AppendObserver = std::function<void(std::string_view appended)>;

  LogText() = default;
  LogText(const LogText&) = delete;
  LogText& operator=(const LogText&) = delete;

  void SetObserver(AppendObserver observer) { observer_ = std::move(observer); }

  // Appends a zero-terminated text. When the log would grow past kMaxLength,
  // the oldest whole lines are dropped first, so the newest lines - where a
  // run's outcome is - always stay; a single text longer than the whole log
  // keeps only its tail.
  void Append(const char* text);
  void Clear();

  std::string_view Text() const { return {buffer_.data(), length_}; }

 private:
  void MakeRoomFor(std::size_t incoming);

  std::array<char, kCapacity> buffer_{};
  std::size_t length_ = 0;
  AppendObserver observer_;
};

}  // namespace zelt20
