#include "tests/support/run_times.h"

#include <algorithm>

#include "link/packet.h"
#include "sim/run_length_packer.h"
#include "sim/station_reply.h"

namespace zelt20::test {
namespace {

using sim::RequestKind;

constexpr std::size_t kStatusReplyBytes = kFrameHeaderSize + 2;            // no payload
constexpr std::size_t kFullpackVersionReplyBytes = kStatusReplyBytes + 2;  // one word
constexpr std::size_t kPlainRequestBytes = kFrameHeaderSize + 2;
constexpr std::size_t kEnterUpgraderRequestBytes = kPlainRequestBytes + 1;  // its one 0x00 byte
constexpr int kChunkBytes = static_cast<int>(kMaxPayload);

std::size_t IdentifyReplyBytes(const StationInfo& info) {
  return kStatusReplyBytes + sim::PackRunLength(sim::RecordBytes(info)).size();
}

}  // namespace

Ms SilentRead(Ms timeout) { return timeout * static_cast<double>(kFrameSize + 1); }

RunTimes::RunTimes(const FirmwareImage& image, const sim::StationSetup& station, Ms byte_time)
    : image_(image),
      byte_time_(byte_time),
      fullpack_sent_(station.fullpack_version != image.FullpackVersionWord()) {
  const StationInfo& info = station.info;
  steps_.push_back({.kind = RequestKind::kIdentify,
                    .request_bytes = kPlainRequestBytes,
                    .reply_bytes = IdentifyReplyBytes(info),
                    .silence = kIdentifyRead});
  Ms before_query = kIdentifiedPause;
  // A station without code is in upgrader mode already.
  if (!info.HoldsNoCode()) {
    steps_.push_back({.kind = RequestKind::kEnterUpgrader,
                      .request_bytes = kEnterUpgraderRequestBytes,
                      .wait = kIdentifiedPause});
    before_query = Ms{0};
    if (info.RebootsIntoUpgrader()) {
      // The drain read ends an interval after the boot noise, which comes
      // once the station has rebooted; without noise it runs to its total
      // time-out.
      const Ms drain = station.boot_noise.empty()
                           ? SilentRead(kIdentifyRead)
                           : std::max(Ms{0}, Ms{station.reboot_time} - kRebootWait) +
                                 byte_time_ * static_cast<double>(station.boot_noise.size()) +
                                 kIdentifyRead;
      before_query = kRebootWait + drain;
    }
  }
  steps_.push_back({.kind = RequestKind::kFullpackVersion,
                    .request_bytes = kPlainRequestBytes,
                    .reply_bytes = kFullpackVersionReplyBytes,
                    .wait = before_query + kQueryPause,
                    .silence = kQueryRead});
  if (fullpack_sent_) AddBlock(kFullpackIndex);
  AddBlock(kUpgraderHeaderIndex);
  for (int segment = 0; segment < kSegmentCount; ++segment) AddBlock(segment);
  steps_.push_back({.kind = RequestKind::kWriteProm,
                    .request_bytes = kPlainRequestBytes,
                    .reply_bytes = kStatusReplyBytes,
                    .silence = kPromRead});
}

// Every chunk is acknowledged by a bare status, the last by the block's
// loaded status.
void RunTimes::AddBlock(int block) {
  const bool segment = block < kSegmentCount;
  const RequestKind kind = segment                    ? RequestKind::kSegmentChunk
                           : block == kFullpackIndex ? RequestKind::kFullpackChunk
                                                      : RequestKind::kHeaderChunk;
  for (int left = image_.BlockMessageLength(block); left > 0; left -= kChunkBytes) {
    const auto chunk = static_cast<std::size_t>(std::min(left, kChunkBytes));
    const bool last = left <= kChunkBytes;
    steps_.push_back({.kind = kind,
                      .block = block,
                      .request_bytes = chunk + kPlainRequestBytes,
                      .reply_bytes = kStatusReplyBytes,
                      .silence = segment && !last ? kSegmentChunkRead : kChunkRead});
  }
}

Ms RunTimes::Time(const RunStep& step) const {
  return step.wait + byte_time_ * static_cast<double>(step.request_bytes + step.reply_bytes) +
         step.silence;
}

template <typename Pick>
Ms RunTimes::Before(Pick is_it) const {
  Ms total{0};
  for (const RunStep& step : steps_) {
    if (is_it(step)) return total + step.wait;
    total += Time(step);
  }
  return total;
}

int RunTimes::Chunks(int block) const {
  return (image_.BlockMessageLength(block) + kChunkBytes - 1) / kChunkBytes;
}

Ms RunTimes::BeforeFullpackQuery() const {
  return Before([](const RunStep& step) { return step.kind == RequestKind::kFullpackVersion; });
}

// The first block sent comes right after the query.
Ms RunTimes::BeforeFullpack() const {
  return Before([](const RunStep& step) { return step.block >= 0; });
}

Ms RunTimes::BeforeHeader() const {
  return Before([](const RunStep& step) { return step.block == kUpgraderHeaderIndex; });
}

Ms RunTimes::BeforeSegment(int segment) const {
  if (segment == kSegmentCount) return BeforeProm();
  return Before([segment](const RunStep& step) { return step.block == segment; });
}

Ms RunTimes::BeforeProm() const {
  return Before([](const RunStep& step) { return step.kind == RequestKind::kWriteProm; });
}

Ms RunTimes::WholeRun() const {
  Ms total{0};
  for (const RunStep& step : steps_) total += Time(step);
  return total;
}

}  // namespace zelt20::test
