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

// Exchange results, in their written values; every caller switches on them.
enum class ExchangeResult {
  kAcknowledged = 0,
  kFailed = 1,  // already reported
  kRetriesExhausted = 2,
  kReplyWithData = 3,  // status word and reply data in the caller's buffer
  kStopped = 4,        // the operator pressed Stop
};

struct ExchangeOutcome {
  ExchangeResult result = ExchangeResult::kFailed;
  // With kReplyWithData: the reply data length + 2, the status word's two
  // bytes included; 0 otherwise.
  int reply_length = 0;
  // The request went a second time (the resend line is in the log).
  bool resent = false;
};

// Request payload going out, status word and reply data coming back.
inline constexpr std::size_t kReplyBufferSize = kMaxPayload + 2;
using ReplyBuffer = std::array<std::uint8_t, kReplyBufferSize>;

class CommandExchange {
 public:
  CommandExchange(StationPort& port, PacketLink& packets, MessageLog& log, const RunContext& run)
      : port_(port), packets_(packets), log_(log), run_(run) {}

  // buffer: the request's payload_length bytes (0..256) in; with
  // kReplyWithData only, the status word (low byte first) and the reply
  // data out.
  ExchangeOutcome ExchangeCommand(std::uint16_t command, std::uint16_t selector,
                                  std::size_t payload_length, ReplyBuffer& buffer);

 private:
  // Both return no result when the attempt failed and a resend is due.
  std::optional<ExchangeOutcome> RunAttempt(std::uint16_t command, std::uint16_t selector,
                                            std::size_t payload_length, ReplyBuffer& buffer);
  std::optional<ExchangeOutcome> Dispatch(const Reply& reply, const DataArea& data,
                                          ReplyBuffer& buffer);

  StationPort& port_;
  PacketLink& packets_;
  MessageLog& log_;
  const RunContext& run_;
};

}  // namespace zelt20
