// The status words the simulated station answers with. The installer reads
// only the high byte; the simulator keeps the low byte zero.
//
// The simulator reads statuses here, apart from the installer's table
// (link/protocol.h), on purpose: it is the oracle the installer is tested
// against, and a table it shared would agree with the installer's mistakes.
#pragma once

#include <cstdint>

namespace zelt20::sim::status {

inline constexpr std::uint16_t kAcknowledged = 0x0000;
// Replies that carry data. The installer takes any high byte outside 0x00,
// 0x20-0x23, 0x27 and 0x29 as data; the station uses the selector's number.
inline constexpr std::uint16_t kStationInfo = 0x0100;
inline constexpr std::uint16_t kFullpackVersion = 0x0200;
// Block-level answers to the last chunk of a block.
inline constexpr std::uint16_t kHeaderLoaded = 0x0300;
inline constexpr std::uint16_t kBlockLoaded = 0x0500;
inline constexpr std::uint16_t kBadHeaderChecksum = 0x2400;
inline constexpr std::uint16_t kBadSegmentFormat = 0x2500;
// General answers to a request the station cannot take.
inline constexpr std::uint16_t kUnknownCommand = 0x2000;
inline constexpr std::uint16_t kWrongHeader = 0x2100;
inline constexpr std::uint16_t kBadPacketChecksum = 0x2200;
inline constexpr std::uint16_t kByteTimeout = 0x2300;
// A reply with this status gives its payload length in its length word as
// it is, not + 6.
inline constexpr std::uint16_t kBareLength = 0xFFFF;

inline constexpr std::uint8_t HighByte(std::uint16_t status) {
  return static_cast<std::uint8_t>(status >> 8);
}
// 0x20-0x23: the station refused the packet itself and did nothing with it.
inline constexpr bool RefusesPacket(std::uint16_t status) {
  return HighByte(status) >= 0x20 && HighByte(status) <= 0x23;
}

}  // namespace zelt20::sim::status
