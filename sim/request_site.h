// The kinds of request the station tells apart, and where one request falls
// in the conversation (which block, which chunk): the terms in which faults
// are aimed and activity is counted.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace zelt20::sim {

enum class RequestKind : int {
  kIdentify,
  kEnterUpgrader,
  kFullpackVersion,
  kHeaderChunk,
  kFullpackChunk,
  kSegmentChunk,
  kWriteProm,
  kUnknown,    // a well-formed request the station has no command for
  kMalformed,  // bad checksum, impossible length word, or cut off by a pause
};
inline constexpr std::size_t kRequestKindCount = 9;

// The name used on the command line and in reports ("identify", "segment").
const char* KindName(RequestKind kind);

struct RequestSite {
  RequestKind kind = RequestKind::kUnknown;
  int segment = -1;         // load segment: the code segment, -1 when unknown
  int chunk = 0;            // block chunks: 1 for the first chunk of a block
  bool last_chunk = false;  // block chunks: the chunk completes the block message

  bool IsChunk() const {
    return kind == RequestKind::kHeaderChunk || kind == RequestKind::kFullpackChunk ||
           kind == RequestKind::kSegmentChunk;
  }
  // "segment 12 chunk 3 (last)", "identify".
  std::string Describe() const;
};

}  // namespace zelt20::sim
