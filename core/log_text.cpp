#include "core/log_text.h"

#include <cstring>

namespace zelt20 {

void LogText::Append(const char* text) {
  std::string_view piece(text);
  if (piece.size() > kMaxLength) piece.remove_prefix(piece.size() - kMaxLength);
  MakeRoomFor(piece.size());
  std::memcpy(buffer_.data() + length_, piece.data(), piece.size());
  length_ += piece.size();
  buffer_[length_] = '\0';
  if (observer_) observer_(piece);
}

void LogText::Clear() {
  length_ = 0;
  buffer_[0] = '\0';
  if (observer_) observer_({});
}

void LogText::MakeRoomFor(std::size_t incoming) {
  if (length_ + incoming <= kMaxLength) return;
  const std::string_view text = Text();
  const std::size_t must_drop = length_ + incoming - kMaxLength;
  // Drop up to the line break that frees enough room; without one, all of it.
  std::size_t cut = text.find("\r\n", must_drop > 2 ? must_drop - 2 : 0);
  cut = cut == std::string_view::npos ? length_ : cut + 2;
  std::memmove(buffer_.data(), buffer_.data() + cut, length_ - cut);
  length_ -= cut;
  buffer_[length_] = '\0';
}

}  // namespace zelt20
