// The requests the simulated station understands: the command and selector
// words on the line, and what each asks the station for.
//
// The simulator reads requests here, apart from the installer's words
// (link/protocol.h), on purpose, as it reads statuses (station_status.h):
// an installer that sent a block under another block's selector meets a
// station that takes the block for what the selector says.
#pragma once

#include <cstddef>
#include <cstdint>

#include "sim/request_site.h"

namespace zelt20::sim {

namespace command {
inline constexpr std::uint16_t kIdentify = 0xF004;
inline constexpr std::uint16_t kUpgrade = 0xF000;
}  // namespace command

namespace selector {
// With the identify command: identify; with the upgrade command: enter
// upgrader mode. The others go with the upgrade command.
inline constexpr std::uint16_t kMode = 0xFFFF;
inline constexpr std::uint16_t kFullpackVersion = 2;
inline constexpr std::uint16_t kLoadHeader = 3;
inline constexpr std::uint16_t kLoadFullpack = 4;
inline constexpr std::uint16_t kLoadSegment = 5;
inline constexpr std::uint16_t kWriteProm = 6;
}  // namespace selector

// What a well-formed request asks for; kUnknown when the station has no
// command with these words.
constexpr RequestKind KindOfRequest(std::uint16_t command_word, std::uint16_t selector_word) {
  if (command_word == command::kIdentify) {
    return selector_word == selector::kMode ? RequestKind::kIdentify : RequestKind::kUnknown;
  }
  if (command_word != command::kUpgrade) return RequestKind::kUnknown;
  switch (selector_word) {
    case selector::kMode: return RequestKind::kEnterUpgrader;
    case selector::kFullpackVersion: return RequestKind::kFullpackVersion;
    case selector::kLoadHeader: return RequestKind::kHeaderChunk;
    case selector::kLoadFullpack: return RequestKind::kFullpackChunk;
    case selector::kLoadSegment: return RequestKind::kSegmentChunk;
    case selector::kWriteProm: return RequestKind::kWriteProm;
    default: return RequestKind::kUnknown;
  }
}

// The length of a block message that starts with `length_word`: a code
// segment's message also carries its address, size and second words.
constexpr std::size_t BlockMessageLength(RequestKind chunk_kind, std::uint16_t length_word) {
  return std::size_t{length_word} + (chunk_kind == RequestKind::kSegmentChunk ? 8 : 2);
}

}  // namespace zelt20::sim
