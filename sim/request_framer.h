// Cuts the byte stream from the installer into requests, as the station's
// receiver does. Nothing on the line marks where a request starts, so the
// station goes by the header: the identify command is 8 bytes, a request
// with selector 0xFFFF 9, any other its length word + 2.
//
// Resynchronisation (the station's own rules, not visible to the
// installer): a request whose length word is impossible is answered as a
// wrong header, and everything that follows is dropped until the line has
// been quiet for kQuietGap; a request that stops half-way and stays
// incomplete for kQuietGap is answered as a byte time-out and dropped. The
// installer only sends its next request after reading a reply for at least
// 75 ms, so the gap (well under that) never swallows a good request.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace zelt20::sim {

using SteadyTime = std::chrono::steady_clock::time_point;

inline constexpr std::chrono::milliseconds kQuietGap{40};

// The length of the request whose first 6 bytes are `header`, or none when
// its length word cannot belong to a request.
std::optional<std::size_t> RequestLength(std::span<const std::uint8_t> header);

struct LineEvent {
  enum class Kind {
    kRequest,      // `bytes` holds one whole request
    kBadLength,    // an impossible length word: answer "wrong header"
    kByteTimeout,  // a request cut off by a pause: answer "byte time-out"
  };
  Kind kind = Kind::kRequest;
  std::vector<std::uint8_t> bytes;
  SteadyTime first_byte{};  // when the event's first byte arrived
};

class RequestFramer {
 public:
  void Feed(std::span<const std::uint8_t> bytes, SteadyTime now);
  // The next event at `now`, if any; call until none is left.
  std::optional<LineEvent> Next(SteadyTime now);
  // When Next may report something without new bytes.
  std::optional<SteadyTime> Deadline() const;
  // Forgets everything (the installer closed the line, the station rebooted).
  void Reset();

 private:
  std::vector<std::uint8_t> pending_;
  SteadyTime first_byte_{};
  SteadyTime last_byte_{};
  bool discarding_ = false;
};

}  // namespace zelt20::sim
