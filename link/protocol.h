// The words the installer and the station speak, as data: command and
// selector words, the read time-outs, what the high byte of a reply's
// status word means to the command exchange, and what it means as the
// station's answer to the last chunk of a block.
//
// The station simulator reads statuses on its own (sim/station_status.h),
// on purpose: a second, independent reading is what lets it catch a wrong
// entry here.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

#include "core/cp1251.h"

namespace zelt20 {

// Command words. A reply with the identify command word carries a
// run-length packed payload.
inline constexpr std::uint16_t kIdentifyCommand = 0xF004;
inline constexpr std::uint16_t kUpgradeCommand = 0xF000;

// Selector words: 0xFFFF with the identify command identifies, with the
// upgrade command enters upgrader mode; the others go with the upgrade
// command.
inline constexpr std::uint16_t kModeSelector = 0xFFFF;
inline constexpr std::uint16_t kFullpackVersionSelector = 2;
inline constexpr std::uint16_t kLoadHeaderSelector = 3;
inline constexpr std::uint16_t kLoadFullpackSelector = 4;
inline constexpr std::uint16_t kLoadSegmentSelector = 5;
inline constexpr std::uint16_t kWritePromSelector = 6;

// A reply with this status word gives its payload length in its length word
// as it is, where every other reply gives the payload length + 6.
inline constexpr std::uint16_t kBareLengthStatus = 0xFFFF;

// The read time-out the port opens with.
inline constexpr std::uint32_t kOpenTimeoutMs = 150;

// A block's chunks run under 150 ms, set when the block starts, and 75 ms,
// set before its last chunk (a second attempt is not set back to 150 ms);
// header and fullpack chunks run under their selectors' time-out instead.
struct ChunkTimeouts {
  std::uint32_t block_start_ms;
  std::uint32_t last_chunk_ms;
};
inline constexpr ChunkTimeouts kChunkTimeouts = {150, 75};

struct SelectorTimeout {
  std::uint16_t selector;
  std::optional<std::uint32_t> timeout_ms;  // none: the block's chunk time-outs
};

// The read time-out the exchange sets for a selector.
inline constexpr SelectorTimeout kSelectorTimeouts[] = {
    {kModeSelector, 200},
    {kLoadSegmentSelector, std::nullopt},
    {kWritePromSelector, 500},
};
inline constexpr std::uint32_t kOtherSelectorTimeoutMs = 75;

constexpr std::optional<std::uint32_t> ReadTimeoutFor(std::uint16_t selector) {
  for (const SelectorTimeout& entry : kSelectorTimeouts) {
    if (entry.selector == selector) return entry.timeout_ms;
  }
  return kOtherSelectorTimeoutMs;
}

constexpr std::uint8_t StatusHighByte(std::uint16_t status) {
  return static_cast<std::uint8_t>(status >> 8);
}

// What a status does to an exchange.
enum class StatusEffect {
  kAcknowledge,  // result 0
  kResend,       // the attempt failed; the exchange sends again
  kFail,         // result 1
  kStoreData,    // result 3: the status word and the reply data go to the caller
};

struct StatusMeaning {
  std::uint8_t high_byte;
  StatusEffect effect;
  const char* message;  // reported after "Ошибка:"; null when nothing is reported
};

// The command exchange's reading of a status word's high byte.
inline constexpr StatusMeaning kExchangeStatuses[] = {
    {0x00, StatusEffect::kAcknowledge, nullptr},
    {0x20, StatusEffect::kResend, "ответ - неизвестная команда"_cp1251},
    {0x21, StatusEffect::kResend, "ответ - неправильный заголовок команды"_cp1251},
    {0x22, StatusEffect::kResend, "ответ - неправильная CRC пакета"_cp1251},
    {0x23, StatusEffect::kResend, "ответ - истек таймаут ожидания байта"_cp1251},
    {0x27, StatusEffect::kFail, "ответ - неправильный тип ППЗУ"_cp1251},
    {0x28, StatusEffect::kStoreData, "ответ - операция с ППЗУ не выполнена"_cp1251},
    {0x29, StatusEffect::kFail, "ответ - обработка fullpack не выполнена"_cp1251},
};
// Every other high byte, among them the block-level answers below.
inline constexpr StatusMeaning kOtherExchangeStatus = {0, StatusEffect::kStoreData, nullptr};

// What the station's answer to the last chunk of a block does to the block.
enum class BlockEffect {
  kConfirm,  // the block is in
  kResend,   // the whole block goes again
  kFail,
};

struct BlockStatusMeaning {
  std::uint8_t high_byte;
  BlockEffect effect;
  // kConfirm: the line logged; otherwise the message reported after "Ошибка:".
  const char* text;
  // kConfirm only: whether the line ends in the block message's address
  // word, and the fullpack's own line where it has one.
  bool with_address = false;
  const char* fullpack_text = nullptr;
};

// The block transfer's reading of the high byte of the answer to a last
// chunk.
inline constexpr BlockStatusMeaning kBlockStatuses[] = {
    {0x03, BlockEffect::kConfirm, "Заголовок апгрейтора загружен"_cp1251},
    {0x05, BlockEffect::kConfirm, "Сегмент загружен: адрес"_cp1251, true, "Fullpack загружен"_cp1251},
    {0x24, BlockEffect::kResend, "ответ - неправильная CRC заголовка апгрейтора"_cp1251},
    {0x25, BlockEffect::kResend, "ответ - неправильный формат сегмента"_cp1251},
    {0x26, BlockEffect::kResend, "ответ - неправильная CRC сегмента"_cp1251},
};
inline constexpr BlockStatusMeaning kOtherBlockStatus = {
    0, BlockEffect::kFail, "принято неправильное поле команды"_cp1251};

namespace protocol_detail {

template <typename Meaning, std::size_t N>
constexpr const Meaning& Lookup(const Meaning (&table)[N], const Meaning& other,
                                std::uint8_t high_byte) {
  for (const Meaning& entry : table) {
    if (entry.high_byte == high_byte) return entry;
  }
  return other;
}

}  // namespace protocol_detail

constexpr const StatusMeaning& MeaningOfStatus(std::uint16_t status) {
  return protocol_detail::Lookup(kExchangeStatuses, kOtherExchangeStatus, StatusHighByte(status));
}

constexpr const BlockStatusMeaning& MeaningOfBlockStatus(std::uint16_t status) {
  return protocol_detail::Lookup(kBlockStatuses, kOtherBlockStatus, StatusHighByte(status));
}

}  // namespace zelt20
