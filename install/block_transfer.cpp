#include "install/block_transfer.h"

#include <algorithm>
#include <cstring>
#include <span>

#include "core/byte_order.h"
#include "core/cp1251.h"

namespace zelt20 {
namespace {

constexpr std::size_t kChunkSize = kMaxPayload;

std::uint16_t SelectorFor(int block_index) {
  if (block_index == kUpgraderHeaderIndex) return kLoadHeaderSelector;
  if (block_index == kFullpackIndex) return kLoadFullpackSelector;
  return kLoadSegmentSelector;
}

// The block message: a code segment goes with its address, size and second
// words in front of the body; the fullpack and the header go as they are.
std::size_t AssembleBlockMessage(const FirmwareImage& image, int block_index,
                                 std::span<std::uint8_t> message) {
  const auto block = image.BlockBytes(block_index);
  if (block_index >= kSegmentCount) {
    std::copy(block.begin(), block.end(), message.begin());
    return block.size();
  }
  WriteWord(&message[0], image.BlockLengthWord(block_index));
  WriteWord(&message[2], image.SegmentAddressWord(block_index));
  WriteWord(&message[4], image.SegmentSizeWord(block_index));
  WriteWord(&message[6], image.SegmentSecondWord(block_index));
  std::copy(block.begin() + 2, block.end(), message.begin() + 8);
  return block.size() + 6;
}

}  // namespace

void TransferCounters::AddToTotal(int bytes) {
  transfer_total += bytes;
  percent_scale = static_cast<float>(100.0 / transfer_total);
}

std::int32_t TransferCounters::ProgressPosition() const {
  return static_cast<std::int32_t>(static_cast<double>(bytes_sent) *
                                   static_cast<double>(percent_scale));
}

int BlockTransfer::SendBlock(int block_index) {
  if (link_.port.SetReadTimeouts(kOpenTimeoutMs) != 0) return kBlockFailed;
  const std::size_t message_length = AssembleBlockMessage(image_, block_index, message_);

  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 1) link_.log.Log("%s\r\n", "Перепосылка всего сегмента"_cp1251);
    switch (SendMessageOnce(block_index, message_length)) {
      case AttemptEnd::kConfirmed: return kBlockConfirmed;
      case AttemptEnd::kFailed: return kBlockFailed;
      case AttemptEnd::kStopped: return kBlockStopped;
      case AttemptEnd::kResend: break;
    }
  }
  link_.log.ReportError(ErrorHeading::kSameLine, "исчерпано число перезапросов"_cp1251);
  return kBlockFailed;
}

// One attempt: every chunk but the last must be acknowledged; only a
// loaded status on the last one confirms the block.
BlockTransfer::AttemptEnd BlockTransfer::SendMessageOnce(int block_index,
                                                         std::size_t message_length) {
  for (std::size_t offset = 0; offset < message_length;) {
    const std::size_t n = std::min(message_length - offset, kChunkSize);
    const bool last_chunk = offset + n == message_length;
    if (last_chunk && link_.port.SetReadTimeouts(kLastChunkTimeoutMs) != 0) {
      return AttemptEnd::kFailed;
    }
    ReplyBuffer chunk{};
    std::memcpy(chunk.data(), &message_[offset], n);
    int length = static_cast<int>(n);
    const int result =
        link_.exchange.ExchangeCommand(kUpgradeCommand, SelectorFor(block_index), length, chunk);
    if (result == kExchangeFailed || result == kRetriesExhausted) return AttemptEnd::kFailed;
    if (result == kStoppedByOperator) return AttemptEnd::kStopped;

    counters_.bytes_sent += static_cast<std::int32_t>(n);
    run_.SetProgressPosition(counters_.ProgressPosition());

    if (result == kReplyWithData) {
      // A status in answer to an earlier chunk ends the attempt silently.
      return last_chunk ? JudgeLastChunkReply(block_index, chunk[1]) : AttemptEnd::kResend;
    }
    offset += n;
  }
  return AttemptEnd::kResend;  // the last chunk was only acknowledged
}

BlockTransfer::AttemptEnd BlockTransfer::JudgeLastChunkReply(int block_index,
                                                             std::uint8_t status_high_byte) {
  MessageLog& log = link_.log;
  const char* complaint = nullptr;
  switch (status_high_byte) {
    case 0x03:
      log.Log("%s\r\n", "Заголовок апгрейтора загружен"_cp1251);
      return AttemptEnd::kConfirmed;
    case 0x05:
      if (block_index == kFullpackIndex) {
        log.Log("%s\r\n", "Fullpack загружен"_cp1251);
      } else {
        log.Log("%s %X\r\n", "Сегмент загружен: адрес"_cp1251, unsigned{ReadWord(&message_[2])});
      }
      return AttemptEnd::kConfirmed;
    case 0x24: complaint = "ответ - неправильная CRC заголовка апгрейтора"_cp1251; break;
    case 0x25: complaint = "ответ - неправильный формат сегмента"_cp1251; break;
    case 0x26: complaint = "ответ - неправильная CRC сегмента"_cp1251; break;
    default:
      log.ReportError(ErrorHeading::kNewLineNoBlank, "принято неправильное поле команды"_cp1251);
      return AttemptEnd::kFailed;
  }
  log.ReportError(ErrorHeading::kNewLineNoBlank, complaint);
  return AttemptEnd::kResend;
}

}  // namespace zelt20
