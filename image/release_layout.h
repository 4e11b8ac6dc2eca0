// The layout of a firmware release as the installer carries it: its release
// number, 29 blocks by block index (27 code segments, the fullpack, the
// upgrader header), each a little-endian block length word L followed by L
// bytes, and a parallel size table. Shared by the build-time release check, the stand-in
// generator and the installer's image access, so that all of them agree on
// one set of offsets and one message length rule.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace zelt20 {

// A firmware version as the station information record and the upgrader
// header hold it: minor byte, major byte, build word. Written major.minor:build.
struct FirmwareVersion {
  std::uint8_t minor = 0;
  std::uint8_t major = 0;
  std::uint16_t build = 0;

  // The version field as one little-endian word: minor, major, build.
  constexpr std::uint32_t Word() const {
    return static_cast<std::uint32_t>(minor) | static_cast<std::uint32_t>(major) << 8 |
           static_cast<std::uint32_t>(build) << 16;
  }
  bool operator==(const FirmwareVersion&) const = default;
};

// "2.3:56", as the program writes versions outside the log.
inline std::string VersionText(FirmwareVersion version) {
  return std::to_string(version.major) + "." + std::to_string(version.minor) + ":" +
         std::to_string(version.build);
}

// The firmware version word of a station that holds no working code.
inline constexpr std::uint32_t kNoCodeVersion = 0xFFFFFFFF;

inline constexpr int kReleaseBlockCount = 29;
inline constexpr int kReleaseSegmentCount = 27;
inline constexpr int kReleaseFullpackIndex = 27;
inline constexpr int kReleaseHeaderIndex = 28;
// The block transfer's message buffer.
inline constexpr int kReleaseMaxMessageLength = 64000;

// Offsets within a block; offset 0 is the low byte of the block length word.
inline constexpr std::size_t kFullpackVersionOffset = 8;
inline constexpr std::size_t kHeaderChecksumLengthOffset = 2;
inline constexpr std::size_t kHeaderChecksumStart = 2;  // the checksum covers L2 bytes from here
constexpr std::size_t SegmentAddressOffset(int segment) {
  return 54 + 4 * static_cast<std::size_t>(segment);
}
constexpr std::size_t SegmentSecondOffset(int segment) { return SegmentAddressOffset(segment) + 2; }
// The header must reach at least this far for the per-segment words.
inline constexpr std::size_t kHeaderSegmentWordsEnd = SegmentAddressOffset(kReleaseSegmentCount);

// The upgrader header's fields that stamping writes. Bytes 12 to 51 have the
// layout of the station information record, header offset 12 + k holding
// record offset k; the six bytes at 20 to 25 keep the image's own contents.
inline constexpr std::size_t kHeaderRecordOffset = 12;
inline constexpr std::size_t kHeaderReleaseOffset = 12;  // minor, major, build word
inline constexpr std::size_t kHeaderDateStampOffset = 16;
inline constexpr std::size_t kHeaderProcessorSerialOffset = 26;  // the station's fields from here
inline constexpr std::size_t kHeaderBiosOffset = 28;
inline constexpr std::size_t kHeaderMonitorOffset = 30;
inline constexpr std::size_t kHeaderRamSizeOffset = 32;
inline constexpr std::size_t kHeaderMinimumCodeVersionOffset = 34;
inline constexpr std::size_t kHeaderHardwareVersion1Offset = 36;
inline constexpr std::size_t kHeaderHardwareVersion2Offset = 40;
inline constexpr std::size_t kHeaderReservedOffset = 44;  // two longs, stamped all ones
inline constexpr std::size_t kHeaderStampedEnd = 52;

// The bytes the block transfer sends for block `index` whose length word is
// `length_word`: code segments carry 8 bytes of framing, the others 2.
constexpr int BlockMessageLengthOf(int index, std::uint16_t length_word) {
  return length_word + (index < kReleaseSegmentCount ? 8 : 2);
}

// One release, without owning its bytes. `number` is the release the
// installer shows, compares with the station's and stamps into the header;
// blocks[i] is block i's length word followed by its body, exactly L + 2
// bytes.
struct ReleaseView {
  FirmwareVersion number;
  std::array<std::span<const std::uint8_t>, kReleaseBlockCount> blocks;
  std::array<std::uint16_t, kReleaseBlockCount> size_table;
};

}  // namespace zelt20
