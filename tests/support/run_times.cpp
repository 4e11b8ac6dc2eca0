#include "tests/support/run_times.h"

#include <algorithm>

#include "link/packet.h"
#include "sim/run_length_packer.h"
#include "sim/station_reply.h"

namespace zelt20::test {

ProtocolTimes WrittenTimes() {
  return {.identify_read = kIdentifyRead,
          .query_read = kQueryRead,
          .chunk_read = kChunkRead,
          .segment_chunk_read = kSegmentChunkRead,
          .last_segment_chunk_read = kChunkRead,
          .prom_read = kPromRead,
          .identified_pause = kIdentifiedPause,
          .reboot_wait = kRebootWait,
          .query_pause = kQueryPause};
}

RunTimes StationRunTimes(const FirmwareImage& image, const sim::StationSetup& station, Ms byte_time) {
  const StationInfo& info = station.info;
  StationShape shape{
      .holds_no_code = info.HoldsNoCode(),
      .reboots_into_upgrader = info.RebootsIntoUpgrader(),
      .fullpack_sent = station.fullpack_version != image.FullpackVersionWord(),
      .identify_reply_bytes =
          kFrameHeaderSize + 2 + sim::PackRunLength(sim::RecordBytes(info)).size(),
      .drain = std::nullopt};
  // The drain read ends an interval after the boot noise, which comes once
  // the station has rebooted; without noise it runs to its total time-out.
  if (!station.boot_noise.empty()) {
    shape.drain = std::max(Ms{0}, Ms{station.reboot_time} - kRebootWait) +
                  byte_time * static_cast<double>(station.boot_noise.size()) + kIdentifyRead;
  }
  return RunTimes(image, shape, WrittenTimes(), byte_time);
}

}  // namespace zelt20::test
