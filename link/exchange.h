// The command exchange: one request, at most one reply, with the read
// time-out of the request's kind, one resend, the operator's Stop and the
// first reading of the station's status word.
#pragma once

#include <array>
#include <cstdint>
#include <optional>

#include "link/packet.h"
#include "link/port.h"
#include "link/protocol.h"
#include "core/message_log.h"
#include "core/run_context.h"

namespace zelt20 {

// Exchange results; every caller switches on them.
enum ExchangeResult : int {
  kAcknowledged = 0,
  kExchangeFailed = 1,  // already reported
  kRetriesExhausted = 2,
  kReplyWithData = 3,  // status word and reply data in the caller's buffer
  kStoppedByOperator = 4,
};

// Request payload going out, status word and reply data coming back.
inline constexpr std::size_t kReplyBufferSize = kMaxPayload + 2;
using ReplyBuffer = std::array<std::uint8_t, kReplyBufferSize>;

class CommandExchange {
 public:
  CommandExchange(StationPort& port, PacketLink& packets, MessageLog& log, const RunContext& run)
      : port_(port), packets_(packets), log_(log), run_(run) {}

  // length: in, the request payload length (0..256); out, with result 3
  // only, the reply data length + 2. buffer: the request payload in, the
  // status word (low byte first) and reply data out, with result 3 only.
  int ExchangeCommand(std::uint16_t command, std::uint16_t selector, int& length,
                      ReplyBuffer& buffer);

 private:
  // Both return no result when the attempt failed and a resend is due.
  std::optional<int> RunAttempt(std::uint16_t command, std::uint16_t selector, int& length,
                                ReplyBuffer& buffer);
  std::optional<int> Dispatch(const Reply& reply, const DataArea& data, int& length,
                              ReplyBuffer& buffer);

  StationPort& port_;
  PacketLink& packets_;
  MessageLog& log_;
  const RunContext& run_;
};

}  // namespace zelt20
