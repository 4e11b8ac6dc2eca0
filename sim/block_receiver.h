// The station's receiving end of the block transfer: collects the chunks of
// one block message, judges the message once it is complete, and keeps the
// blocks it has confirmed until the PROM is written.
//
// A block message announces its own length in its first word (L + 2 bytes
// for the header and the fullpack, L + 8 for a code segment), so the
// station knows which chunk completes it. A chunk of another kind than the
// block in progress, or any answer other than an acknowledgement,
// ends the block in progress; the next chunk starts the block over.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include "image/release_layout.h"
#include "sim/request_site.h"

namespace zelt20::sim {

// Block messages as they came over the line; an empty one was not received.
struct CodeSet {
  std::vector<std::uint8_t> header;
  std::array<std::vector<std::uint8_t>, kReleaseSegmentCount> segments;
  std::vector<std::uint8_t> fullpack;
};

struct BlockCounts {
  int headers_confirmed = 0;
  int fullpacks_confirmed = 0;
  int segments_confirmed = 0;
  int refused = 0;    // complete messages answered with 0x2400 or 0x2500
  int restarts = 0;   // blocks begun again: resends of a whole block
  int abandoned = 0;  // blocks dropped before they were complete
};

class BlockReceiver {
 public:
  // Where `chunk` falls, before it is taken: kind, segment, chunk number,
  // and whether it completes its block message.
  RequestSite Locate(RequestKind kind, std::span<const std::uint8_t> chunk) const;
  // Takes a chunk and returns the answer: an acknowledgement while the
  // message is incomplete, then the verdict on the whole message.
  std::uint16_t Take(RequestKind kind, std::span<const std::uint8_t> chunk);
  // Drops the block in progress: the station answered it with something
  // that ends it.
  void Abandon();
  // Forgets everything received (upgrader mode entered anew, PROM written).
  void Clear();

  const CodeSet& Received() const { return received_; }
  const BlockCounts& Counts() const { return counts_; }

 private:
  struct InProgress {
    RequestKind kind = RequestKind::kUnknown;
    std::vector<std::uint8_t> message;
    int chunks = 0;
    int segment = -1;
  };

  void Begin(RequestKind kind, std::span<const std::uint8_t> first_chunk);
  std::uint16_t Judge(const InProgress& block);
  std::uint16_t JudgeHeader(const std::vector<std::uint8_t>& message);
  std::uint16_t JudgeSegment(const std::vector<std::uint8_t>& message);
  std::uint16_t JudgeFullpack(const std::vector<std::uint8_t>& message);
  std::uint16_t Refuse(RequestKind kind);

  std::optional<InProgress> current_;
  CodeSet received_;
  int next_segment_ = 0;  // the segment the station expects after the header
  std::map<std::pair<RequestKind, int>, int> starts_;
  BlockCounts counts_;
};

}  // namespace zelt20::sim
