// Whether the code a station flashed is the release the installer carries,
// with the upgrader header stamped for that station. Written field by field
// from the header layout rather than by stamping a copy, so that it also
// catches faults in the installer's own stamping.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "install/firmware_image.h"
#include "install/station_info.h"
#include "sim/block_receiver.h"

namespace zelt20::sim {

struct FlashCheck {
  bool prom_written = false;
  bool fullpack_sent = false;
  std::uint32_t header_date_stamp = 0;  // the stamp the installer wrote
  std::vector<std::string> problems;    // empty when everything matches

  bool Matches() const { return prom_written && problems.empty(); }
};

struct FlashedState {
  bool prom_written = false;
  const CodeSet* code = nullptr;
  // The fullpack version the station reported before the PROM write, if it
  // was asked: decides whether the fullpack had to be sent.
  std::optional<std::uint16_t> reported_fullpack_version;
};

// The block message of code segment `segment` as the block transfer sends
// it: block length word, address word, size word, second word, body.
std::vector<std::uint8_t> ReleaseSegmentMessage(const FirmwareImage& release, int segment);

// Compares with `release` as built (its header unstamped): the header must
// hold the installer's release number at 12-15, the station's hardware
// fields at 26-43, all ones at 44-51 and a valid header checksum, and equal
// the release everywhere else apart from the date stamp; every code segment
// message and a fullpack that was sent must equal the release's.
FlashCheck CheckFlashedCode(const FlashedState& flashed, const StationInfo& station,
                            const FirmwareImage& release);

}  // namespace zelt20::sim
