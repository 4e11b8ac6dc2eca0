// What a station puts on the line, laid out as the station does: a reply
// frame and the bytes of its information record. The installer only reads
// these; the simulator and the tests' scripted station write them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "install/station_info.h"
#include "link/packet.h"

namespace zelt20::sim {

// A reply frame: length word n + 6, or n itself when the status word is
// 0xFFFF, and n <= 256 payload bytes. Returns its length.
std::size_t FrameReply(std::uint16_t command, std::uint16_t status, std::size_t n,
                       const std::uint8_t* payload, Frame& frame);

// The record's 40 bytes, little-endian, as the station sends them.
std::array<std::uint8_t, StationInfo::kSize> RecordBytes(const StationInfo& info);

}  // namespace zelt20::sim
