#include "link/exchange.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "core/cp1251.h"
#include "link/resend.h"

namespace zelt20 {
ExchangeOutcome CommandExchange::ExchangeCommand(std::uint16_t command, std::uint16_t selector,
                                                 std::size_t payload_length, ReplyBuffer& buffer) {
  if (const std::optional<std::uint32_t> timeout = ReadTimeoutFor(selector)) {
    if (port_.SetReadTimeouts(*timeout) != LinkResult::kDone) return {ExchangeResult::kFailed};
  }
  int attempts = 0;
  ExchangeOutcome outcome = RunWithOneResend(log_, "Перепосылка..."_cp1251, [&] {
                              ++attempts;
                              return RunAttempt(command, selector, payload_length, buffer);
                            }).value_or(ExchangeOutcome{ExchangeResult::kRetriesExhausted});
  outcome.resent = attempts > 1;
  return outcome;
}

std::optional<ExchangeOutcome> CommandExchange::RunAttempt(std::uint16_t command,
                                                           std::uint16_t selector,
                                                           std::size_t payload_length,
                                                           ReplyBuffer& buffer) {
  const auto stop_seen = [this] {
    if (!run_.StopRequested()) return false;
    log_.Log("\r\n%s\r\n", "Выполнение прервано пользователем"_cp1251);
    return true;
  };
  // Stop is polled before the request goes out, so that once pressed it lets
  // nothing reach the station (enter upgrader mode or write PROM would
  // change it while the run ends as stopped), and again instead of the reply.
  if (stop_seen()) return ExchangeOutcome{ExchangeResult::kStopped};
  const std::size_t n = std::min(payload_length, kMaxPayload);
  if (packets_.SendPacket(command, selector, n, buffer.data()) != LinkResult::kDone) {
    return std::nullopt;
  }
  if (stop_seen()) return ExchangeOutcome{ExchangeResult::kStopped};
  // The station switches mode (and may reboot): no reply is awaited.
  if (command == kUpgradeCommand && selector == kModeSelector) {
    return ExchangeOutcome{ExchangeResult::kAcknowledged};
  }
  Reply reply;
  DataArea data{};
  if (packets_.ReceivePacket(reply, data) != LinkResult::kDone) return std::nullopt;
  return Dispatch(reply, data, buffer);
}

std::optional<ExchangeOutcome> CommandExchange::Dispatch(const Reply& reply, const DataArea& data,
                                                         ReplyBuffer& buffer) {
  const StatusMeaning& meaning = MeaningOfStatus(reply.status);
  if (meaning.message != nullptr) log_.ReportError(ErrorHeading::kNewLineNoBlank, meaning.message);
  switch (meaning.effect) {
    case StatusEffect::kAcknowledge: return ExchangeOutcome{ExchangeResult::kAcknowledged};
    case StatusEffect::kResend: return std::nullopt;
    case StatusEffect::kFail: return ExchangeOutcome{ExchangeResult::kFailed};
    case StatusEffect::kStoreData: break;
  }
  WriteWord(&buffer[0], reply.status);
  if (reply.data_length > 0) {
    std::memcpy(&buffer[2], data.data(), static_cast<std::size_t>(reply.data_length));
  }
  return ExchangeOutcome{ExchangeResult::kReplyWithData, reply.data_length + 2};
}

}  // namespace zelt20
