// The embedded firmware image: the values of release 2.3:56 as the installer
// reads them, and the stamping of the upgrader header.
#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "install/firmware_image.h"
#include "link/packet.h"

namespace zelt20 {
namespace {

std::vector<std::uint8_t> HeaderOf(const FirmwareImage& image) {
  const auto header = image.BlockBytes(kUpgraderHeaderIndex);
  return {header.begin(), header.end()};
}

std::uint32_t LongAt(const std::vector<std::uint8_t>& bytes, std::size_t offset) {
  return ReadWord(&bytes[offset]) | static_cast<std::uint32_t>(ReadWord(&bytes[offset + 2])) << 16;
}

// The checksum as stamped: over the L2 bytes from offset 2, stored at 2 + L2.
bool HeaderChecksumHolds(const std::vector<std::uint8_t>& header) {
  const std::size_t covered = ReadWord(&header[2]);
  return ComputeChecksum(&header[2], covered, 0) == ReadWord(&header[2 + covered]);
}

bool IsStampedOffset(std::size_t offset) {
  return (offset >= 12 && offset < 20) || (offset >= 26 && offset < 52) ||
         (offset >= 162 && offset < 164);
}

StationInfo SampleStation() {
  StationInfo station;
  station.processor_serial = 42;
  station.bios = 0x0005;
  station.monitor = 0x0102;
  station.ram_kb = 0x0200;
  station.minimum_code_version = 0x0017;
  station.hardware_version_1 = 0x11223344;
  station.hardware_version_2 = 0x55667788;
  return station;
}

TEST(FirmwareImage, MessageLengthsOfTheReleaseAddUp) {
  const FirmwareImage image;
  int code_segments = 0;
  for (int segment = 0; segment < kSegmentCount; ++segment) {
    code_segments += image.BlockMessageLength(segment);
  }
  EXPECT_EQ(code_segments, 206266);
  EXPECT_EQ(code_segments + image.BlockMessageLength(kFullpackIndex), 238481);
}

TEST(FirmwareImage, ReadsTheValuesOfTheRelease) {
  const FirmwareImage image;
  EXPECT_EQ(image.BlockLengthWord(0), 9139);
  EXPECT_EQ(image.BlockMessageLength(0), 9147);
  EXPECT_EQ(image.SegmentSizeWord(0), 0x4000);
  EXPECT_EQ(image.BlockLengthWord(26), 770);
  EXPECT_EQ(image.BlockMessageLength(26), 778);
  EXPECT_EQ(image.SegmentSizeWord(26), 0x0500);
  EXPECT_EQ(image.BlockMessageLength(kFullpackIndex), 32215);
  EXPECT_EQ(image.BlockLengthWord(kUpgraderHeaderIndex), 162);
  EXPECT_EQ(image.BlockMessageLength(kUpgraderHeaderIndex), 164);
  EXPECT_EQ(image.FullpackVersionWord(), 0x00A0);
  EXPECT_EQ(ReadWord(&HeaderOf(image)[2]), 160);  // checksum length
  for (int index = 0; index < kBlockCount; ++index) {
    const auto block = image.BlockBytes(index);
    EXPECT_EQ(block.size(), image.BlockLengthWord(index) + 2u) << "block " << index;
    EXPECT_LE(image.BlockMessageLength(index), kMaxBlockMessageLength) << "block " << index;
  }
  for (int segment = 0; segment < kSegmentCount; ++segment) {
    EXPECT_EQ(image.SegmentAddressWord(segment), 0x8000 + 0x400 * segment) << "segment " << segment;
  }
}

TEST(FirmwareImage, StampingWritesOnlyTheStampedFieldsAndAValidChecksum) {
  FirmwareImage image;
  const auto built_in = HeaderOf(image);
  const StationInfo station = SampleStation();
  image.StampUpgraderHeader(InstallerRelease(), 0xC29550A1, station);
  const auto stamped = HeaderOf(image);

  ASSERT_EQ(stamped.size(), built_in.size());
  for (std::size_t offset = 0; offset < stamped.size(); ++offset) {
    if (!IsStampedOffset(offset)) {
      EXPECT_EQ(stamped[offset], built_in[offset]) << "offset " << offset;
    }
  }
  EXPECT_EQ(stamped[12], 3);
  EXPECT_EQ(stamped[13], 2);
  EXPECT_EQ(ReadWord(&stamped[14]), 56);
  EXPECT_EQ(LongAt(stamped, 16), 0xC29550A1u);
  EXPECT_EQ(ReadWord(&stamped[26]), 42);
  EXPECT_EQ(ReadWord(&stamped[28]), 0x0005);
  EXPECT_EQ(ReadWord(&stamped[30]), 0x0102);
  EXPECT_EQ(ReadWord(&stamped[32]), 0x0200);
  EXPECT_EQ(ReadWord(&stamped[34]), 0x0017);
  EXPECT_EQ(LongAt(stamped, 36), 0x11223344u);
  EXPECT_EQ(LongAt(stamped, 40), 0x55667788u);
  EXPECT_EQ(LongAt(stamped, 44), 0xFFFFFFFFu);
  EXPECT_EQ(LongAt(stamped, 48), 0xFFFFFFFFu);
  EXPECT_TRUE(HeaderChecksumHolds(stamped));
  // Read from the header copy that is sent; stamping leaves them alone.
  for (int segment = 0; segment < kSegmentCount; ++segment) {
    const auto offset = 54 + 4 * static_cast<std::size_t>(segment);
    EXPECT_EQ(image.SegmentAddressWord(segment), ReadWord(&built_in[offset]));
    EXPECT_EQ(image.SegmentSecondWord(segment), ReadWord(&built_in[offset + 2]));
  }
}

TEST(FirmwareImage, ChecksumCoversTheChecksumLengthWordButNotTheBlockLengthWord) {
  FirmwareImage image;
  image.StampUpgraderHeader(InstallerRelease(), 0, SampleStation());
  const auto header = HeaderOf(image);
  EXPECT_EQ(ReadWord(&header[162]), ComputeChecksum(&header[2], 160, 0));
}

TEST(FirmwareImage, SecondStampReplacesTheFirstCompletely) {
  FirmwareImage twice;
  StationInfo first = SampleStation();
  first.hardware_version_2 = 0xDEADBEEF;
  twice.StampUpgraderHeader({9, 8, 7}, 0x12345678, first);
  StationInfo second;
  second.bios = 4;
  twice.StampUpgraderHeader(InstallerRelease(), 0xC29550A1, second);

  FirmwareImage once;
  once.StampUpgraderHeader(InstallerRelease(), 0xC29550A1, second);
  EXPECT_EQ(HeaderOf(twice), HeaderOf(once));
  EXPECT_TRUE(HeaderChecksumHolds(HeaderOf(twice)));
}

TEST(FirmwareImage, FieldsWithAllBitsSetAreStampedAsTheyAre) {
  FirmwareImage image;
  StationInfo station;
  station.processor_serial = station.bios = station.monitor = station.ram_kb =
      station.minimum_code_version = 0xFFFF;
  station.hardware_version_1 = station.hardware_version_2 = 0xFFFFFFFF;
  image.StampUpgraderHeader({0xFF, 0xFF, 0xFFFF}, 0xFFFFFFFF, station);
  const auto header = HeaderOf(image);
  for (std::size_t offset = 12; offset < 52; ++offset) {
    if (IsStampedOffset(offset)) {
      EXPECT_EQ(header[offset], 0xFF) << "offset " << offset;
    }
  }
  EXPECT_TRUE(HeaderChecksumHolds(header));
}

TEST(FirmwareImage, EachImageStampsItsOwnHeaderCopy) {
  FirmwareImage stamped;
  const FirmwareImage untouched;
  const auto built_in = HeaderOf(untouched);
  stamped.StampUpgraderHeader(InstallerRelease(), 1, SampleStation());
  EXPECT_EQ(HeaderOf(untouched), built_in);
  EXPECT_NE(HeaderOf(stamped), built_in);
}

}  // namespace
}  // namespace zelt20
