#include "link/line_error_marks.h"

namespace zelt20 {

std::size_t LineErrorMarks::DecodeInPlace(std::uint8_t* data, std::size_t count) {
  constexpr std::uint8_t kEscape = 0xFF;
  std::size_t out = 0;
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t byte = data[i];
    switch (state_) {
      case State::kPlain:
        if (byte == kEscape) {
          state_ = State::kAfterEscape;
        } else {
          data[out++] = byte;
        }
        break;
      case State::kAfterEscape:
        if (byte == kEscape) {
          data[out++] = kEscape;
          state_ = State::kPlain;
        } else if (byte == 0x00) {
          state_ = State::kAfterMark;
        } else {
          // The driver never sends a lone escape; the stream cannot be
          // trusted any more.
          error_seen_ = true;
          state_ = State::kPlain;
        }
        break;
      case State::kAfterMark:
        // The byte that came with the error (0 for a break) is dropped.
        error_seen_ = true;
        state_ = State::kPlain;
        break;
    }
  }
  return out;
}

void LineErrorMarks::Reset() {
  state_ = State::kPlain;
  error_seen_ = false;
}

}  // namespace zelt20
