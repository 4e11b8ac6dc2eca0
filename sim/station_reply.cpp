#include "sim/station_reply.h"

#include <algorithm>
#include <cstring>

#include "core/byte_order.h"
#include "sim/station_status.h"

namespace zelt20::sim {

std::size_t FrameReply(std::uint16_t command, std::uint16_t status, std::size_t n,
                       const std::uint8_t* payload, Frame& frame) {
  n = std::min(n, kMaxPayload);
  const auto length_word =
      static_cast<std::uint16_t>(status == status::kBareLength ? n : n + kFrameHeaderSize);
  return WriteFrame(command, status, length_word, n, payload, frame);
}

std::array<std::uint8_t, StationInfo::kSize> RecordBytes(const StationInfo& info) {
  std::array<std::uint8_t, StationInfo::kSize> record{};
  std::uint8_t* bytes = record.data();
  WriteLong(bytes, info.version.Word());
  WriteLong(bytes + 4, info.write_date);
  std::memcpy(bytes + 8, info.uninterpreted, sizeof info.uninterpreted);
  WriteWord(bytes + 14, info.processor_serial);
  WriteWord(bytes + 16, info.bios);
  WriteWord(bytes + 18, info.monitor);
  WriteWord(bytes + 20, info.ram_kb);
  WriteWord(bytes + 22, info.minimum_code_version);
  WriteLong(bytes + 24, info.hardware_version_1);
  WriteLong(bytes + 28, info.hardware_version_2);
  WriteLong(bytes + 32, info.reserved_1);
  WriteLong(bytes + 36, info.reserved_2);
  return record;
}

}  // namespace zelt20::sim
