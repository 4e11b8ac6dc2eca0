#include "link/exchange.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "core/cp1251.h"
#include "link/resend.h"

namespace zelt20 {
int CommandExchange::ExchangeCommand(std::uint16_t command, std::uint16_t selector, int& length,
                                     ReplyBuffer& buffer) {
  if (const std::optional<std::uint32_t> timeout = ReadTimeoutFor(selector)) {
    if (port_.SetReadTimeouts(*timeout) != 0) return kExchangeFailed;
  }
  return RunWithOneResend(log_, "Перепосылка..."_cp1251, [&] {
           return RunAttempt(command, selector, length, buffer);
         }).value_or(kRetriesExhausted);
}

std::optional<int> CommandExchange::RunAttempt(std::uint16_t command, std::uint16_t selector,
                                               int& length, ReplyBuffer& buffer) {
  const auto payload_length = static_cast<std::size_t>(std::clamp(length, 0, int{kMaxPayload}));
  if (packets_.SendPacket(command, selector, payload_length, buffer.data()) != 0) {
    return std::nullopt;
  }
  if (run_.StopRequested()) {
    log_.Log("\r\n%s\r\n", "Выполнение прервано пользователем"_cp1251);
    return kStoppedByOperator;
  }
  // The station switches mode (and may reboot): no reply is awaited.
  if (command == kUpgradeCommand && selector == kModeSelector) return kAcknowledged;
  Reply reply;
  DataArea data{};
  if (packets_.ReceivePacket(reply, data) != 0) return std::nullopt;
  return Dispatch(reply, data, length, buffer);
}

std::optional<int> CommandExchange::Dispatch(const Reply& reply, const DataArea& data, int& length,
                                             ReplyBuffer& buffer) {
  const StatusMeaning& meaning = MeaningOfStatus(reply.status);
  if (meaning.message != nullptr) log_.ReportError(ErrorHeading::kNewLineNoBlank, meaning.message);
  switch (meaning.effect) {
    case StatusEffect::kAcknowledge: return kAcknowledged;
    case StatusEffect::kResend: return std::nullopt;
    case StatusEffect::kFail: return kExchangeFailed;
    case StatusEffect::kStoreData: break;
  }
  WriteWord(&buffer[0], reply.status);
  if (reply.data_length > 0) {
    std::memcpy(&buffer[2], data.data(), static_cast<std::size_t>(reply.data_length));
  }
  length = reply.data_length + 2;
  return kReplyWithData;
}

}  // namespace zelt20
