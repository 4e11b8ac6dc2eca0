// Transfer of one block of the firmware image to a station in upgrader
// mode: the block message cut into chunks of at most 256 bytes, the
// progress bar moved after each, the station's block-level answer to the
// last chunk, and one resend of the whole block.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "install/firmware_image.h"
#include "install/run_observer.h"
#include "link/station_link.h"
#include "core/run_context.h"

namespace zelt20 {

// Kept for the whole process and never reset: only one run per process gets
// as far as the transfer.
struct TransferCounters {
  std::int32_t bytes_sent = 0;
  std::int32_t transfer_total = 0;
  float percent_scale = 0.0f;  // 100 / transfer total

  void AddToTotal(int bytes);  // and sets the percent scale anew
  std::int32_t ProgressPosition() const;
};

// Block results, in their written values.
enum class BlockResult {
  kConfirmed = 0,
  kFailed = 1,   // already reported
  kStopped = 4,  // the operator pressed Stop (the exchange has logged it)
};

class BlockTransfer {
 public:
  BlockTransfer(StationLink& link, RunContext& run, const FirmwareImage& image,
                TransferCounters& counters, RunObserver& observer = NoObserver())
      : link_(link), run_(run), image_(image), counters_(counters), observer_(observer),
        message_(static_cast<std::size_t>(kMaxBlockMessageLength)) {}

  BlockResult SendBlock(int block_index);

 private:
  // Both return no result when the attempt ends without one and the whole
  // block is due again.
  std::optional<BlockResult> SendMessageOnce(int block_index, std::size_t message_length);
  std::optional<BlockResult> JudgeLastChunkReply(int block_index, std::uint16_t status);

  StationLink& link_;
  RunContext& run_;
  const FirmwareImage& image_;
  TransferCounters& counters_;
  RunObserver& observer_;
  std::vector<std::uint8_t> message_;  // the block message buffer
};

}  // namespace zelt20
