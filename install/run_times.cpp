#include "install/run_times.h"

#include <algorithm>

#include "install/installation.h"
#include "link/packet.h"
#include "link/protocol.h"

namespace zelt20 {
namespace {

constexpr std::size_t kStatusReplyBytes = kFrameHeaderSize + 2;            // no payload
constexpr std::size_t kFullpackVersionReplyBytes = kStatusReplyBytes + 2;  // one word
constexpr std::size_t kPlainRequestBytes = kFrameHeaderSize + 2;
constexpr std::size_t kEnterUpgraderRequestBytes = kPlainRequestBytes + 1;  // its one 0x00 byte
constexpr int kChunkBytes = static_cast<int>(kMaxPayload);

// Header and fullpack chunks run under their selectors' time-out, one
// figure for both.
static_assert(ReadTimeoutFor(kLoadHeaderSelector) == ReadTimeoutFor(kLoadFullpackSelector));

Ms Milliseconds(std::uint32_t ms) { return Ms{static_cast<double>(ms)}; }

}  // namespace

ProtocolTimes InstallerTimes() {
  return {.identify_read = Milliseconds(*ReadTimeoutFor(kModeSelector)),
          .query_read = Milliseconds(*ReadTimeoutFor(kFullpackVersionSelector)),
          .chunk_read = Milliseconds(*ReadTimeoutFor(kLoadHeaderSelector)),
          .segment_chunk_read = Milliseconds(kChunkTimeouts.block_start_ms),
          .last_segment_chunk_read = Milliseconds(kChunkTimeouts.last_chunk_ms),
          .prom_read = Milliseconds(*ReadTimeoutFor(kWritePromSelector)),
          .identified_pause = Milliseconds(kIdentifiedPauseMs),
          .reboot_wait = Milliseconds(kRebootWaitMs),
          .query_pause = Milliseconds(kBeforeFullpackQueryMs)};
}

Ms SilentRead(Ms timeout) { return timeout * static_cast<double>(kFrameSize + 1); }

RunTimes::RunTimes(const FirmwareImage& image, const StationShape& station,
                   const ProtocolTimes& times, Ms byte_time)
    : image_(image), times_(times), byte_time_(byte_time), fullpack_sent_(station.fullpack_sent) {
  steps_.push_back({.kind = RunStepKind::kIdentify,
                    .request_bytes = kPlainRequestBytes,
                    .reply_bytes = station.identify_reply_bytes,
                    .silence = times.identify_read});
  Ms before_query = times.identified_pause;
  // A station without code is in upgrader mode already.
  if (!station.holds_no_code) {
    steps_.push_back({.kind = RunStepKind::kEnterUpgrader,
                      .request_bytes = kEnterUpgraderRequestBytes,
                      .wait = times.identified_pause});
    before_query = Ms{0};
    if (station.reboots_into_upgrader) {
      before_query = times.reboot_wait + station.drain.value_or(SilentRead(times.identify_read));
    }
  }
  steps_.push_back({.kind = RunStepKind::kFullpackVersion,
                    .request_bytes = kPlainRequestBytes,
                    .reply_bytes = kFullpackVersionReplyBytes,
                    .wait = before_query + times.query_pause,
                    .silence = times.query_read});
  if (fullpack_sent_) AddBlock(kFullpackIndex);
  AddBlock(kUpgraderHeaderIndex);
  for (int segment = 0; segment < kSegmentCount; ++segment) AddBlock(segment);
  steps_.push_back({.kind = RunStepKind::kWriteProm,
                    .request_bytes = kPlainRequestBytes,
                    .reply_bytes = kStatusReplyBytes,
                    .silence = times.prom_read});
}

// Every chunk is acknowledged by a bare status, the last by the block's
// loaded status.
void RunTimes::AddBlock(int block) {
  const bool segment = block < kSegmentCount;
  const RunStepKind kind = segment                    ? RunStepKind::kSegmentChunk
                           : block == kFullpackIndex ? RunStepKind::kFullpackChunk
                                                      : RunStepKind::kHeaderChunk;
  for (int left = image_.BlockMessageLength(block); left > 0; left -= kChunkBytes) {
    const auto chunk = static_cast<std::size_t>(std::min(left, kChunkBytes));
    const bool last = left <= kChunkBytes;
    const Ms silence = !segment ? times_.chunk_read
                       : last   ? times_.last_segment_chunk_read
                                : times_.segment_chunk_read;
    steps_.push_back({.kind = kind,
                      .block = block,
                      .payload_bytes = chunk,
                      .request_bytes = chunk + kPlainRequestBytes,
                      .reply_bytes = kStatusReplyBytes,
                      .silence = silence});
  }
}

Ms RunTimes::Time(const RunStep& step) const {
  return step.wait + byte_time_ * static_cast<double>(step.request_bytes + step.reply_bytes) +
         step.silence;
}

int RunTimes::Chunks(int block) const {
  return (image_.BlockMessageLength(block) + kChunkBytes - 1) / kChunkBytes;
}

Ms RunTimes::BeforeFullpackQuery() const { return Until(FirstStep(RunStepKind::kFullpackVersion)); }

// The first block sent comes right after the query.
Ms RunTimes::BeforeFullpack() const { return Until(FirstStep(RunStepKind::kFullpackVersion) + 1); }

Ms RunTimes::BeforeHeader() const { return Until(FirstStep(RunStepKind::kHeaderChunk)); }

Ms RunTimes::BeforeSegment(int segment) const {
  if (segment == kSegmentCount) return BeforeProm();
  return Until(FirstStep(RunStepKind::kSegmentChunk, segment));
}

Ms RunTimes::BeforeProm() const { return Until(FirstStep(RunStepKind::kWriteProm)); }

Ms RunTimes::WholeRun() const { return Until(steps_.size()); }

std::size_t RunTimes::FirstStep(RunStepKind kind, int block) const {
  const auto found = std::find_if(steps_.begin(), steps_.end(), [&](const RunStep& step) {
    return step.kind == kind && (block < 0 || step.block == block);
  });
  return static_cast<std::size_t>(found - steps_.begin());
}

std::size_t RunTimes::StepAtTransferByte(int block, std::int64_t bytes_sent) const {
  std::int64_t sent_before = 0;
  std::size_t at = steps_.size();
  for (std::size_t i = 0; i < steps_.size(); ++i) {
    const RunStep& step = steps_[i];
    if (step.block < 0) continue;
    if (step.block == block) {
      if (at == steps_.size()) at = i;  // the block's first chunk at least
      if (sent_before <= bytes_sent) at = i;
    }
    sent_before += static_cast<std::int64_t>(step.payload_bytes);
  }
  return at;
}

Ms RunTimes::Until(std::size_t step) const {
  Ms total{0};
  for (std::size_t i = 0; i < std::min(step, steps_.size()); ++i) total += Time(steps_[i]);
  return step < steps_.size() ? total + steps_[step].wait : total;
}

}  // namespace zelt20
