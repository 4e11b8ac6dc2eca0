#include "link/exchange.h"

#include <algorithm>
#include <cstring>

#include "core/cp1251.h"

namespace zelt20 {
namespace {

// 0 means: leave the time-out as the caller set it (segment chunks).
std::uint32_t TimeoutFor(std::uint16_t selector) {
  switch (selector) {
    case kModeSelector: return kModeRequestTimeoutMs;
    case kLoadSegmentSelector: return 0;
    case kWritePromSelector: return kWritePromTimeoutMs;
    default: return kLastChunkTimeoutMs;
  }
}

enum class StatusEffect { kAcknowledge, kResend, kFail, kStoreData };

struct StatusMeaning {
  StatusEffect effect;
  const char* message;  // null when the code is not reported here
};

StatusMeaning MeaningOf(std::uint8_t high_byte) {
  switch (high_byte) {
    case 0x00: return {StatusEffect::kAcknowledge, nullptr};
    case 0x20: return {StatusEffect::kResend, "ответ - неизвестная команда"_cp1251};
    case 0x21: return {StatusEffect::kResend, "ответ - неправильный заголовок команды"_cp1251};
    case 0x22: return {StatusEffect::kResend, "ответ - неправильная CRC пакета"_cp1251};
    case 0x23: return {StatusEffect::kResend, "ответ - истек таймаут ожидания байта"_cp1251};
    case 0x27: return {StatusEffect::kFail, "ответ - неправильный тип ППЗУ"_cp1251};
    case 0x28: return {StatusEffect::kStoreData, "ответ - операция с ППЗУ не выполнена"_cp1251};
    case 0x29: return {StatusEffect::kFail, "ответ - обработка fullpack не выполнена"_cp1251};
    default: return {StatusEffect::kStoreData, nullptr};
  }
}

}  // namespace

int CommandExchange::ExchangeCommand(std::uint16_t command, std::uint16_t selector, int& length,
                                     ReplyBuffer& buffer) {
  if (const std::uint32_t timeout = TimeoutFor(selector); timeout != 0) {
    if (port_.SetReadTimeouts(timeout) != 0) return kExchangeFailed;
  }
  for (int attempt = 1; attempt <= 2; ++attempt) {
    if (attempt == 2) log_.Log("%s\r\n", "Перепосылка..."_cp1251);
    if (const auto result = RunAttempt(command, selector, length, buffer)) return *result;
  }
  log_.ReportError(ErrorHeading::kSameLine, "исчерпано число перезапросов"_cp1251);
  return kRetriesExhausted;
}

std::optional<int> CommandExchange::RunAttempt(std::uint16_t command, std::uint16_t selector,
                                               int& length, ReplyBuffer& buffer) {
  const auto stop_seen = [this] {
    if (!run_.StopRequested()) return false;
    log_.Log("\r\n%s\r\n", "Выполнение прервано пользователем"_cp1251);
    return true;
  };
  // Stop is polled before the request goes out, so that once pressed it lets
  // nothing reach the station (enter upgrader mode or write PROM would
  // change it while the run ends as stopped), and again instead of the reply.
  if (stop_seen()) return kStoppedByOperator;
  const auto payload_length = static_cast<std::size_t>(std::clamp(length, 0, int{kMaxPayload}));
  if (packets_.SendPacket(command, selector, payload_length, buffer.data()) != 0) {
    return std::nullopt;
  }
  if (stop_seen()) return kStoppedByOperator;
  // The station switches mode (and may reboot): no reply is awaited.
  if (command == kUpgradeCommand && selector == kModeSelector) return kAcknowledged;
  Reply reply;
  DataArea data{};
  if (packets_.ReceivePacket(reply, data) != 0) return std::nullopt;
  return Dispatch(reply, data, length, buffer);
}

std::optional<int> CommandExchange::Dispatch(const Reply& reply, const DataArea& data, int& length,
                                             ReplyBuffer& buffer) {
  const auto high_byte = static_cast<std::uint8_t>(reply.status >> 8);
  const StatusMeaning meaning = MeaningOf(high_byte);
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
