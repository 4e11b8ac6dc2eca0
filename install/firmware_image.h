// The firmware release the installer carries: 27 code segments, the
// fullpack and the upgrader header, addressed by block index, with the size
// table. Everything is read-only except a writable copy of the upgrader
// header, which StampUpgraderHeader fills in before anything is sent.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "image/release_layout.h"
#include "install/station_info.h"

namespace zelt20 {

// The image's layout is the one the build checked the release against.
inline constexpr int kBlockCount = kReleaseBlockCount;
inline constexpr int kSegmentCount = kReleaseSegmentCount;
inline constexpr int kFullpackIndex = kReleaseFullpackIndex;
inline constexpr int kUpgraderHeaderIndex = kReleaseHeaderIndex;
// Every block message fits the block transfer's message buffer.
inline constexpr int kMaxBlockMessageLength = kReleaseMaxMessageLength;

// The number of the release the installer carries, as its release file
// holds it: shown, compared with the station's version and stamped into the
// header.
FirmwareVersion InstallerRelease();

class FirmwareImage {
 public:
  // The release embedded in the program at build time.
  FirmwareImage();

  // Block i: its block length word and the L bytes that follow. For the
  // upgrader header, the (stamped) writable copy.
  std::span<const std::uint8_t> BlockBytes(int index) const;
  std::uint16_t BlockLengthWord(int index) const;
  // L + 8 for a code segment, L + 2 for the fullpack and the header.
  int BlockMessageLength(int index) const;

  std::uint16_t SegmentSizeWord(int segment) const;
  // Read from the header copy that is sent, so after stamping.
  std::uint16_t SegmentAddressWord(int segment) const;
  std::uint16_t SegmentSecondWord(int segment) const;
  std::uint16_t FullpackVersionWord() const;

  // Writes the release, the date stamp, the station's hardware fields and
  // all-ones reserved fields into the header copy and recomputes its
  // checksum. Every stamp overwrites the previous one completely.
  void StampUpgraderHeader(FirmwareVersion release, std::uint32_t date_stamp,
                           const StationInfo& station);

 private:
  // The writable copy of the upgrader header, as long as the embedded one.
  std::vector<std::uint8_t> header_;
};

}  // namespace zelt20
