#include "tests/support/run_times.h"

#include <algorithm>
#include <array>

#include "link/packet.h"
#include "sim/run_length_packer.h"
#include "sim/station_reply.h"

namespace zelt20::test {
namespace {

constexpr std::size_t kStatusReplyBytes = kFrameHeaderSize + 2;            // no payload
constexpr std::size_t kFullpackVersionReplyBytes = kStatusReplyBytes + 2;  // one word
constexpr std::size_t kPlainRequestBytes = kFrameHeaderSize + 2;
constexpr int kChunkBytes = static_cast<int>(kMaxPayload);

std::size_t IdentifyReplyBytes(const StationInfo& info) {
  return kStatusReplyBytes + sim::PackRunLength(sim::RecordBytes(info)).size();
}

}  // namespace

Ms SilentRead(Ms timeout) { return timeout * static_cast<double>(kFrameSize + 1); }

RunTimes::RunTimes(const FirmwareImage& image, const sim::StationSetup& station, Ms byte_time)
    : image_(image),
      station_(station),
      byte_time_(byte_time),
      fullpack_sent_(station.fullpack_version != image.FullpackVersionWord()) {}

Ms RunTimes::Exchange(std::size_t request_bytes, std::size_t reply_bytes, Ms timeout) const {
  return byte_time_ * static_cast<double>(request_bytes + reply_bytes) + timeout;
}

int RunTimes::Chunks(int block) const {
  return (image_.BlockMessageLength(block) + kChunkBytes - 1) / kChunkBytes;
}

Ms RunTimes::Block(int block) const {
  const bool segment = block < kSegmentCount;
  Ms total{0};
  for (int left = image_.BlockMessageLength(block); left > 0; left -= kChunkBytes) {
    const auto chunk = static_cast<std::size_t>(std::min(left, kChunkBytes));
    const bool last = left <= kChunkBytes;
    total += Exchange(chunk + kFrameHeaderSize + 2, kStatusReplyBytes,
                      segment && !last ? kSegmentChunkRead : kChunkRead);
  }
  return total;
}

Ms RunTimes::BeforeFullpackQuery() const {
  Ms total =
      Exchange(kPlainRequestBytes, IdentifyReplyBytes(station_.info), kIdentifyRead) + kIdentifiedPause;
  if (station_.info.RebootsIntoUpgrader() && !station_.info.HoldsNoCode()) {
    // The drain read ends an interval after the boot noise, which comes once
    // the station has rebooted; without noise it runs to its total time-out.
    const Ms reboot = station_.reboot_time;
    const Ms drain = station_.boot_noise.empty()
                         ? SilentRead(kIdentifyRead)
                         : std::max(Ms{0}, reboot - kRebootWait) +
                               byte_time_ * static_cast<double>(station_.boot_noise.size()) + kIdentifyRead;
    total += kRebootWait + drain;
  }
  return total + kQueryPause;
}

Ms RunTimes::BeforeFullpack() const {
  return BeforeFullpackQuery() + Exchange(kPlainRequestBytes, kFullpackVersionReplyBytes, kQueryRead);
}

Ms RunTimes::BeforeHeader() const {
  return BeforeFullpack() + (fullpack_sent_ ? Block(kFullpackIndex) : Ms{0});
}

Ms RunTimes::BeforeSegment(int segment) const {
  Ms total = BeforeHeader() + Block(kUpgraderHeaderIndex);
  for (int s = 0; s < segment; ++s) total += Block(s);
  return total;
}

Ms RunTimes::BeforeProm() const { return BeforeSegment(kSegmentCount); }

Ms RunTimes::WholeRun() const {
  return BeforeProm() + Exchange(kPlainRequestBytes, kStatusReplyBytes, kPromRead);
}

}  // namespace zelt20::test
