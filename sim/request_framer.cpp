#include "sim/request_framer.h"

#include "core/byte_order.h"
#include "link/packet.h"
#include "sim/station_request.h"

namespace zelt20::sim {

std::optional<std::size_t> RequestLength(std::span<const std::uint8_t> header) {
  const std::uint16_t command_word = ReadWord(&header[0]);
  const std::uint16_t selector_word = ReadWord(&header[2]);
  const std::uint16_t length_word = ReadWord(&header[4]);
  if (command_word == command::kIdentify) {
    if (length_word != 0) return std::nullopt;
    return kFrameHeaderSize + 2;
  }
  if (selector_word == selector::kMode) {
    if (length_word != 1) return std::nullopt;
    return kFrameHeaderSize + 1 + 2;
  }
  if (length_word < kFrameHeaderSize || length_word > kFrameHeaderSize + kMaxPayload) {
    return std::nullopt;
  }
  return std::size_t{length_word} + 2;
}

void RequestFramer::Feed(std::span<const std::uint8_t> bytes, SteadyTime now) {
  if (bytes.empty()) return;
  last_byte_ = now;
  if (discarding_) return;
  if (pending_.empty()) first_byte_ = now;
  pending_.insert(pending_.end(), bytes.begin(), bytes.end());
}

std::optional<LineEvent> RequestFramer::Next(SteadyTime now) {
  const bool quiet = now - last_byte_ >= kQuietGap;
  if (discarding_) {
    if (!quiet) return std::nullopt;
    discarding_ = false;
  }
  if (pending_.size() >= kFrameHeaderSize) {
    const auto length = RequestLength(pending_);
    if (!length) {
      LineEvent event{LineEvent::Kind::kBadLength, std::move(pending_), first_byte_};
      pending_.clear();
      discarding_ = true;
      return event;
    }
    if (pending_.size() >= *length) {
      const auto end = pending_.begin() + static_cast<std::ptrdiff_t>(*length);
      LineEvent event{LineEvent::Kind::kRequest, {pending_.begin(), end}, first_byte_};
      pending_.erase(pending_.begin(), end);
      first_byte_ = last_byte_;  // what is left came with the last bytes
      return event;
    }
  }
  if (!pending_.empty() && quiet) {
    LineEvent event{LineEvent::Kind::kByteTimeout, std::move(pending_), first_byte_};
    pending_.clear();
    return event;
  }
  return std::nullopt;
}

std::optional<SteadyTime> RequestFramer::Deadline() const {
  if (discarding_ || !pending_.empty()) return last_byte_ + kQuietGap;
  return std::nullopt;
}

void RequestFramer::Reset() {
  pending_.clear();
  discarding_ = false;
}

}  // namespace zelt20::sim
