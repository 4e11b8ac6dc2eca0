// Input from a port whose driver marks line errors (termios PARMRK with
// INPCK): a byte received with a framing or parity error, and a break,
// arrive as 0xFF 0x00 x; a 0xFF the station sent arrives as 0xFF 0xFF.
// The decoder turns that stream back into the station's bytes and remembers
// that an error was marked, so the port can refuse all further transfers.
// A mark may be split across reads; the decoder carries it over.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zelt20 {

class LineErrorMarks {
 public:
  // Decodes count received bytes in place; returns how many of the
  // station's bytes are now at the start of data (never more than count).
  std::size_t DecodeInPlace(std::uint8_t* data, std::size_t count);
  bool ErrorSeen() const { return error_seen_; }
  // For a newly opened port.
  void Reset();

 private:
  enum class State : std::uint8_t { kPlain, kAfterEscape, kAfterMark };
  State state_ = State::kPlain;
  bool error_seen_ = false;
};

}  // namespace zelt20
