// The packet frame spoken with the station: command word, selector (status
// in replies) word, length word, up to 256 payload bytes and a 16-bit
// checksum, all little-endian. Packets are delimited on the line by silence.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "link/port.h"
#include "link/protocol.h"
#include "core/message_log.h"

namespace zelt20 {

inline constexpr std::size_t kMaxPayload = 256;
inline constexpr std::size_t kFrameHeaderSize = 6;
inline constexpr std::size_t kFrameSize = kFrameHeaderSize + kMaxPayload + 2;  // 264

using Frame = std::array<std::uint8_t, kFrameSize>;
using DataArea = std::array<std::uint8_t, kMaxPayload>;

// The station's checksum (the log calls it the CRC): a 16-bit table
// checksum whose table is the CCITT 0x1021 table with permuted indices. It
// is no standard CRC; no library CRC can stand in for it.
std::uint16_t ComputeChecksum(const std::uint8_t* data, std::size_t count, std::uint16_t initial);

// Lays out a frame in either direction: the command word, the selector (or
// status) word, the length word, n <= 256 payload bytes and the checksum
// over all of them. Returns the frame's length, n + 8.
std::size_t WriteFrame(std::uint16_t command, std::uint16_t selector, std::uint16_t length_word,
                       std::size_t n, const std::uint8_t* payload, Frame& frame);

// Builds a request as it goes on the line and returns its length. The
// identify command always carries no payload and a 0xFFFF selector always
// one 0x00 byte, whatever the caller passes; otherwise the n <= 256 bytes.
std::size_t FrameRequest(std::uint16_t command, std::uint16_t selector, std::size_t n,
                         const std::uint8_t* payload, Frame& frame);

enum class ReplyCheck {
  kAccepted,
  kReceptionFailed,  // too short, bad length, or unpacks past the data area
  kBadChecksum,
};

struct Reply {
  std::uint16_t command = 0;
  std::uint16_t status = 0;
  int data_length = 0;  // payload length, or unpacked bytes - 1 (may be -1)
};

// Checks one reply of m bytes read into `frame` and hands its data to
// `data`: copied for a plain reply, run-length unpacked for a packed one
// (command word 0xF004).
ReplyCheck DecodeReply(const Frame& frame, std::size_t m, Reply& reply, DataArea& data);

// Run-length unpacking of a packed payload p[0..n-1]; `after` is the frame
// byte that follows the payload (the low checksum byte), which the decoder
// may emit as the byte after a trailing count byte. Returns the number of
// bytes emitted, or -1 when the output would not fit in `data` (nothing
// beyond it is ever written).
int UnpackRunLength(const std::uint8_t* p, std::size_t n, std::uint8_t after, DataArea& data);

// Sends requests and receives replies over the station's port, reporting
// every failure in the log.
class PacketLink {
 public:
  PacketLink(StationPort& port, MessageLog& log) : port_(port), log_(log) {}

  // kFailed: the write failed or was short.
  LinkResult SendPacket(std::uint16_t command, std::uint16_t selector, std::size_t n,
                        const std::uint8_t* payload);
  // kDone: received into data; kFailed: a reception or checksum failure.
  LinkResult ReceivePacket(Reply& reply, DataArea& data);

 private:
  StationPort& port_;
  MessageLog& log_;
};

}  // namespace zelt20
