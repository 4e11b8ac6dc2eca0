#include "install/block_transfer.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <utility>

#include "core/byte_order.h"
#include "core/cp1251.h"
#include "link/resend.h"

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

BlockResult BlockTransfer::SendBlock(int block_index) {
  if (link_.SetReadTimeouts(kChunkTimeouts.block_start_ms) != LinkResult::kDone) {
    return BlockResult::kFailed;
  }
  const std::size_t message_length = AssembleBlockMessage(image_, block_index, message_);
  bool first_attempt = true;
  return RunWithOneResend(link_.Log(), "Перепосылка всего сегмента"_cp1251, [&] {
           if (!std::exchange(first_attempt, false)) observer_.BlockResent(block_index);
           return SendMessageOnce(block_index, message_length);
         }).value_or(BlockResult::kFailed);
}

// One attempt: every chunk but the last must be acknowledged; only a
// loaded status on the last one confirms the block. None: the block goes
// again.
std::optional<BlockResult> BlockTransfer::SendMessageOnce(int block_index,
                                                          std::size_t message_length) {
  for (std::size_t offset = 0; offset < message_length;) {
    const std::size_t n = std::min(message_length - offset, kChunkSize);
    const bool last_chunk = offset + n == message_length;
    if (last_chunk && link_.SetReadTimeouts(kChunkTimeouts.last_chunk_ms) != LinkResult::kDone) {
      return BlockResult::kFailed;
    }
    ReplyBuffer chunk{};
    std::memcpy(chunk.data(), &message_[offset], n);
    const ExchangeResult result =
        Observed(link_.ExchangeCommand(kUpgradeCommand, SelectorFor(block_index), n, chunk),
                 observer_).result;
    if (result == ExchangeResult::kFailed || result == ExchangeResult::kRetriesExhausted) {
      return BlockResult::kFailed;
    }
    if (result == ExchangeResult::kStopped) return BlockResult::kStopped;

    counters_.bytes_sent += static_cast<std::int32_t>(n);
    run_.SetProgressPosition(counters_.ProgressPosition());
    observer_.TransferProgress(counters_.bytes_sent, counters_.transfer_total);

    if (result == ExchangeResult::kReplyWithData) {
      // A status in answer to an earlier chunk ends the attempt silently.
      if (!last_chunk) return std::nullopt;
      return JudgeLastChunkReply(block_index, ReadWord(chunk.data()));
    }
    offset += n;
  }
  return std::nullopt;  // the last chunk was only acknowledged
}

std::optional<BlockResult> BlockTransfer::JudgeLastChunkReply(int block_index,
                                                              std::uint16_t status) {
  MessageLog& log = link_.Log();
  const BlockStatusMeaning& meaning = MeaningOfBlockStatus(status);
  switch (meaning.effect) {
    case BlockEffect::kConfirm: break;
    case BlockEffect::kResend:
      log.ReportError(ErrorHeading::kNewLineNoBlank, meaning.text);
      return std::nullopt;
    case BlockEffect::kFail:
      log.ReportError(ErrorHeading::kNewLineNoBlank, meaning.text);
      return BlockResult::kFailed;
  }
  if (block_index == kFullpackIndex && meaning.fullpack_text != nullptr) {
    log.Log("%s\r\n", meaning.fullpack_text);
  } else if (meaning.with_address) {
    log.Log("%s %X\r\n", meaning.text, unsigned{ReadWord(&message_[2])});
  } else {
    log.Log("%s\r\n", meaning.text);
  }
  return BlockResult::kConfirmed;
}

}  // namespace zelt20
