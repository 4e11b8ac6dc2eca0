#include "bench/protocol_minimum.h"

#include <algorithm>

#include "link/exchange.h"
#include "link/packet.h"
#include "link/port.h"
#include "sim/station_reply.h"

namespace zelt20::bench {
namespace {

constexpr std::int64_t kIdentifiedPauseMs = 5000;
constexpr std::int64_t kBeforeFullpackQueryMs = 200;

// A request as it goes on the line; the frame rules decide its length.
std::int64_t RequestBytes(std::uint16_t command, std::uint16_t selector, std::size_t payload) {
  Frame frame{};
  const DataArea zeros{};
  return static_cast<std::int64_t>(FrameRequest(command, selector, payload, zeros.data(), frame));
}

// A plain reply of the upgrade command with `payload` bytes.
std::int64_t ReplyBytes(std::size_t payload) {
  Frame frame{};
  const DataArea zeros{};
  return static_cast<std::int64_t>(sim::FrameReply(kUpgradeCommand, 0, payload, zeros.data(), frame));
}

class MinimumBuilder {
 public:
  // One request answered by a reply of `reply_bytes`, read under `t` ms.
  void Exchange(std::int64_t request_bytes, std::int64_t reply_bytes, std::uint32_t t) {
    ++minimum_.requests;
    ++minimum_.replies;
    minimum_.request_bytes += request_bytes;
    minimum_.reply_bytes += reply_bytes;
    minimum_.silence_ms += t;
  }

  // A block message cut into chunks of at most 256 bytes, each acknowledged
  // by a bare status (the last one by the block's loaded status). Returns
  // the number of chunks.
  int Block(std::uint16_t selector, int message_length, std::uint32_t t_before_last) {
    int chunks = 0;
    for (int offset = 0; offset < message_length;) {
      const int n = std::min(message_length - offset, static_cast<int>(kMaxPayload));
      offset += n;
      const bool last = offset == message_length;
      Exchange(RequestBytes(kUpgradeCommand, selector, static_cast<std::size_t>(n)), ReplyBytes(0),
               last ? kLastChunkTimeoutMs : t_before_last);
      ++chunks;
    }
    return chunks;
  }

  ProtocolMinimum& Result() { return minimum_; }

 private:
  ProtocolMinimum minimum_;
};

}  // namespace

ProtocolMinimum ComputeProtocolMinimum(const FirmwareImage& image, std::size_t identify_reply_bytes) {
  MinimumBuilder run;
  ProtocolMinimum& minimum = run.Result();

  run.Exchange(RequestBytes(kIdentifyCommand, kModeSelector, 0),
               static_cast<std::int64_t>(identify_reply_bytes), kModeRequestTimeoutMs);
  minimum.wait_ms += kIdentifiedPauseMs;

  minimum.enter_upgrader_bytes = RequestBytes(kUpgradeCommand, kModeSelector, 1);
  ++minimum.requests;
  minimum.request_bytes += minimum.enter_upgrader_bytes;

  minimum.wait_ms += kBeforeFullpackQueryMs;
  run.Exchange(RequestBytes(kUpgradeCommand, kFullpackVersionSelector, 0), ReplyBytes(2),
               kLastChunkTimeoutMs);

  // The fullpack's and the header's exchanges set 75 ms for every chunk.
  minimum.fullpack_chunks = run.Block(kLoadFullpackSelector, image.BlockMessageLength(kFullpackIndex),
                                      kLastChunkTimeoutMs);
  minimum.header_chunks = run.Block(kLoadHeaderSelector, image.BlockMessageLength(kUpgraderHeaderIndex),
                                    kLastChunkTimeoutMs);
  for (int segment = 0; segment < kSegmentCount; ++segment) {
    minimum.segment_chunks +=
        run.Block(kLoadSegmentSelector, image.BlockMessageLength(segment), kOpenTimeoutMs);
  }

  run.Exchange(RequestBytes(kUpgradeCommand, kWritePromSelector, 0), ReplyBytes(0),
               kWritePromTimeoutMs);
  return minimum;
}

}  // namespace zelt20::bench
