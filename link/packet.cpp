#include "link/packet.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "core/cp1251.h"

namespace zelt20 {
namespace {

constexpr std::uint16_t CcittEntry(unsigned index) {
  unsigned value = index << 8;
  for (int bit = 0; bit < 8; ++bit) value = (value & 0x8000u) ? (value << 1) ^ 0x1021u : value << 1;
  return static_cast<std::uint16_t>(value);
}

// Entry i is the CCITT entry i XOR (i >> 4).
constexpr std::array<std::uint16_t, 256> MakeChecksumTable() {
  std::array<std::uint16_t, 256> table{};
  for (unsigned i = 0; i < 256; ++i) table[i] = CcittEntry(i ^ (i >> 4));
  return table;
}

constexpr auto kChecksumTable = MakeChecksumTable();
static_assert(kChecksumTable[0x01] == 0x1021);
static_assert(kChecksumTable[0x10] == 0x0210);
static_assert(kChecksumTable[0x11] == 0x1231);

}  // namespace

std::uint16_t ComputeChecksum(const std::uint8_t* data, std::size_t count, std::uint16_t initial) {
  unsigned h = initial;
  for (std::size_t i = 0; i < count; ++i) {
    h = ((h << 8) ^ kChecksumTable[((h >> 8) ^ data[i]) & 0xFFu]) & 0xFFFFu;
  }
  return static_cast<std::uint16_t>(h);
}

std::size_t WriteFrame(std::uint16_t command, std::uint16_t selector, std::uint16_t length_word,
                       std::size_t n, const std::uint8_t* payload, Frame& frame) {
  WriteWord(&frame[0], command);
  WriteWord(&frame[2], selector);
  WriteWord(&frame[4], length_word);
  if (n > 0) std::memcpy(&frame[kFrameHeaderSize], payload, n);
  const std::size_t covered = n + kFrameHeaderSize;
  WriteWord(&frame[covered], ComputeChecksum(frame.data(), covered, 0));
  return covered + 2;
}

std::size_t FrameRequest(std::uint16_t command, std::uint16_t selector, std::size_t n,
                         const std::uint8_t* payload, Frame& frame) {
  if (command == kIdentifyCommand) return WriteFrame(command, selector, 0, 0, nullptr, frame);
  if (selector == kModeSelector) {
    constexpr std::uint8_t kZero = 0x00;
    return WriteFrame(command, selector, 1, 1, &kZero, frame);
  }
  n = std::min(n, kMaxPayload);
  return WriteFrame(command, selector, static_cast<std::uint16_t>(n + kFrameHeaderSize), n, payload,
                    frame);
}

int UnpackRunLength(const std::uint8_t* p, std::size_t n, std::uint8_t after, DataArea& data) {
  std::size_t emitted = 0;
  const auto emit = [&](std::uint8_t byte, std::size_t copies) {
    if (copies > data.size() - emitted) return false;
    std::fill_n(data.begin() + static_cast<std::ptrdiff_t>(emitted), copies, byte);
    emitted += copies;
    return true;
  };
  int run = 0;
  std::uint8_t prev = 0;
  std::size_t j = 0;
  while (j < n) {
    if (run == 2) {
      const std::uint8_t k = p[j];
      if (k >= 0x01 && k <= 0x7F) {
        if (!emit(prev, k)) return -1;
        ++j;
      } else if (k >= 0x80) {
        ++j;
      }
      run = 0;
    }
    // After a count byte that was the last payload byte, the decoder reads
    // the byte that follows the payload in the frame.
    const std::uint8_t d = j < n ? p[j] : after;
    run = (j > 0 && d == prev) ? run + 1 : 0;
    prev = d;
    if (!emit(d, 1)) return -1;
    ++j;
  }
  return static_cast<int>(emitted);
}

ReplyCheck DecodeReply(const Frame& frame, std::size_t m, Reply& reply, DataArea& data) {
  if (m < 8 || m > kFrameSize) return ReplyCheck::kReceptionFailed;
  reply.command = ReadWord(&frame[0]);
  reply.status = ReadWord(&frame[2]);
  const std::uint16_t length_word = ReadWord(&frame[4]);
  const std::uint16_t n16 = reply.status == kBareLengthStatus
                                ? length_word
                                : static_cast<std::uint16_t>(length_word - kFrameHeaderSize);
  const std::size_t n = n16;
  if (n > kMaxPayload || n + 8 != m) return ReplyCheck::kReceptionFailed;
  if (ComputeChecksum(frame.data(), n + kFrameHeaderSize, 0) !=
      ReadWord(&frame[n + kFrameHeaderSize])) {
    return ReplyCheck::kBadChecksum;
  }
  const std::uint8_t* payload = &frame[kFrameHeaderSize];
  if (reply.command == kIdentifyCommand) {
    const int emitted = UnpackRunLength(payload, n, frame[n + kFrameHeaderSize], data);
    if (emitted < 0) return ReplyCheck::kReceptionFailed;
    reply.data_length = emitted - 1;
  } else {
    std::memcpy(data.data(), payload, n);
    reply.data_length = static_cast<int>(n);
  }
  return ReplyCheck::kAccepted;
}

LinkResult PacketLink::SendPacket(std::uint16_t command, std::uint16_t selector, std::size_t n,
                                  const std::uint8_t* payload) {
  Frame frame{};
  const std::size_t length = FrameRequest(command, selector, n, payload, frame);
  const WriteOutcome write = port_.WritePort(frame.data(), length);
  if (write.succeeded && write.written == length) return LinkResult::kDone;
  log_.ReportError(ErrorHeading::kNewLine, "отправка пакета не выполнена"_cp1251);
  return LinkResult::kFailed;
}

LinkResult PacketLink::ReceivePacket(Reply& reply, DataArea& data) {
  Frame frame{};
  const std::size_t m = port_.ReadPort(frame.data(), frame.size());
  switch (DecodeReply(frame, m, reply, data)) {
    case ReplyCheck::kAccepted: return LinkResult::kDone;
    case ReplyCheck::kBadChecksum:
      log_.ReportError(ErrorHeading::kNewLine, "принят пакет с неправильной CRC"_cp1251);
      return LinkResult::kFailed;
    case ReplyCheck::kReceptionFailed: break;
  }
  log_.ReportError(ErrorHeading::kNewLine, "прием пакета не выполнен"_cp1251);
  return LinkResult::kFailed;
}

}  // namespace zelt20
