#include "sim/block_receiver.h"

#include "core/byte_order.h"
#include "image/embedded_release.h"
#include "image/release_layout.h"
#include "link/packet.h"
#include "sim/station_request.h"
#include "sim/station_status.h"

namespace zelt20::sim {
namespace {

// A segment holds at most 0x400 paragraphs of 16 bytes.
constexpr std::uint16_t kSegmentRoom = 0x4000;

// The station's memory map: where the release puts code segment i, read
// from the release as built rather than from the header the installer sent.
std::uint16_t SegmentAddress(int segment) {
  return ReadWord(&EmbeddedRelease().blocks[kReleaseHeaderIndex][SegmentAddressOffset(segment)]);
}

// The code segment that a segment message's address word names, or -1.
int SegmentOfFirstChunk(RequestKind kind, std::span<const std::uint8_t> chunk) {
  if (kind != RequestKind::kSegmentChunk || chunk.size() < 4) return -1;
  const std::uint16_t address = ReadWord(&chunk[2]);
  for (int segment = 0; segment < kReleaseSegmentCount; ++segment) {
    if (SegmentAddress(segment) == address) return segment;
  }
  return -1;
}

}  // namespace

RequestSite BlockReceiver::Locate(RequestKind kind, std::span<const std::uint8_t> chunk) const {
  const bool continuing = current_ && current_->kind == kind;
  const std::vector<std::uint8_t> none;
  const std::vector<std::uint8_t>& have = continuing ? current_->message : none;

  RequestSite site{kind};
  site.chunk = continuing ? current_->chunks + 1 : 1;
  site.segment = continuing ? current_->segment : SegmentOfFirstChunk(kind, chunk);
  const std::size_t total = have.size() + chunk.size();
  if (total >= 2) {
    const auto byte_at = [&](std::size_t k) { return k < have.size() ? have[k] : chunk[k - have.size()]; };
    const auto length_word = static_cast<std::uint16_t>(byte_at(0) | byte_at(1) << 8);
    site.last_chunk = total >= BlockMessageLength(kind, length_word);
  }
  return site;
}

std::uint16_t BlockReceiver::Take(RequestKind kind, std::span<const std::uint8_t> chunk) {
  if (!current_ || current_->kind != kind) Begin(kind, chunk);
  InProgress& block = *current_;
  block.message.insert(block.message.end(), chunk.begin(), chunk.end());
  ++block.chunks;
  if (block.message.size() < 2) return status::kAcknowledged;
  const std::size_t length = BlockMessageLength(kind, ReadWord(block.message.data()));
  if (block.message.size() < length) return status::kAcknowledged;

  const InProgress done = std::move(block);
  current_.reset();
  // A chunk that runs past the announced end: the installer's idea of the
  // message differs from the station's.
  if (done.message.size() > length) return Refuse(kind);
  return Judge(done);
}

void BlockReceiver::Abandon() {
  if (!current_) return;
  ++counts_.abandoned;
  current_.reset();
}

void BlockReceiver::Clear() {
  current_.reset();
  received_ = CodeSet{};
  next_segment_ = 0;
  starts_.clear();
}

void BlockReceiver::Begin(RequestKind kind, std::span<const std::uint8_t> first_chunk) {
  Abandon();
  current_ = InProgress{kind, {}, 0, SegmentOfFirstChunk(kind, first_chunk)};
  if (++starts_[{kind, current_->segment}] > 1) ++counts_.restarts;
}

std::uint16_t BlockReceiver::Judge(const InProgress& block) {
  switch (block.kind) {
    case RequestKind::kHeaderChunk: return JudgeHeader(block.message);
    case RequestKind::kFullpackChunk: return JudgeFullpack(block.message);
    default: return JudgeSegment(block.message);
  }
}

// The header checksum covers L2 bytes from offset 2 and follows them; the
// header must also hold the per-segment words the station checks against.
std::uint16_t BlockReceiver::JudgeHeader(const std::vector<std::uint8_t>& message) {
  if (message.size() < kHeaderChecksumLengthOffset + 2) return Refuse(RequestKind::kHeaderChunk);
  const std::size_t covered = ReadWord(&message[kHeaderChecksumLengthOffset]);
  const std::size_t checksum_at = kHeaderChecksumStart + covered;
  if (message.size() < checksum_at + 2 || checksum_at < kHeaderSegmentWordsEnd ||
      ComputeChecksum(&message[kHeaderChecksumStart], covered, 0) != ReadWord(&message[checksum_at])) {
    return Refuse(RequestKind::kHeaderChunk);
  }
  received_.header = message;
  received_.segments = {};
  next_segment_ = 0;
  ++counts_.headers_confirmed;
  return status::kHeaderLoaded;
}

// Segments come in address order after a header: the address word of
// segment i in the station's memory map, a body that fits the size word, a
// size word within a segment's room, and the second word the header gives
// segment i.
std::uint16_t BlockReceiver::JudgeSegment(const std::vector<std::uint8_t>& message) {
  const int segment = next_segment_;
  if (received_.header.empty() || segment >= kReleaseSegmentCount) return Refuse(RequestKind::kSegmentChunk);
  const std::uint16_t body_length = ReadWord(&message[0]);
  const std::uint16_t size_word = ReadWord(&message[4]);
  const bool fits = body_length > 0 && body_length <= size_word && size_word <= kSegmentRoom;
  if (!fits || ReadWord(&message[2]) != SegmentAddress(segment) ||
      ReadWord(&message[6]) != ReadWord(&received_.header[SegmentSecondOffset(segment)])) {
    return Refuse(RequestKind::kSegmentChunk);
  }
  received_.segments[static_cast<std::size_t>(segment)] = message;
  ++next_segment_;
  ++counts_.segments_confirmed;
  return status::kBlockLoaded;
}

std::uint16_t BlockReceiver::JudgeFullpack(const std::vector<std::uint8_t>& message) {
  if (message.size() < kFullpackVersionOffset + 2) return Refuse(RequestKind::kFullpackChunk);
  received_.fullpack = message;
  ++counts_.fullpacks_confirmed;
  return status::kBlockLoaded;
}

std::uint16_t BlockReceiver::Refuse(RequestKind kind) {
  ++counts_.refused;
  return kind == RequestKind::kHeaderChunk ? status::kBadHeaderChecksum : status::kBadSegmentFormat;
}

}  // namespace zelt20::sim
