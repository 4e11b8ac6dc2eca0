// The embedded firmware image: the release as the installer reads it, and
// the stamping of the upgrader header. Written for any release the build
// embeds; the stand-in's own values are checked in standin_release_test.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "core/byte_order.h"
#include "image/embedded_release.h"
#include "install/firmware_image.h"
#include "link/packet.h"

namespace zelt20 {
namespace {

std::vector<std::uint8_t> HeaderOf(const FirmwareImage& image) {
  const auto header = image.BlockBytes(kUpgraderHeaderIndex);
  return {header.begin(), header.end()};
}

// Where the header checksum goes: after the L2 bytes it covers from offset 2.
std::size_t ChecksumOffset(const std::vector<std::uint8_t>& header) {
  return 2 + ReadWord(&header[2]);
}

// The checksum as stamped: over the L2 bytes from offset 2, stored at 2 + L2.
bool HeaderChecksumHolds(const std::vector<std::uint8_t>& header) {
  const std::size_t at = ChecksumOffset(header);
  return ComputeChecksum(&header[2], at - 2, 0) == ReadWord(&header[at]);
}

bool IsStampedOffset(std::size_t offset, std::size_t checksum_at) {
  return (offset >= 12 && offset < 20) || (offset >= 26 && offset < 52) ||
         (offset >= checksum_at && offset < checksum_at + 2);
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

TEST(FirmwareImage, ReadsTheEmbeddedRelease) {
  const FirmwareImage image;
  const ReleaseView& release = EmbeddedRelease();
  const auto header = release.blocks[kUpgraderHeaderIndex];
  for (int index = 0; index < kBlockCount; ++index) {
    const auto block = image.BlockBytes(index);
    const auto built_in = release.blocks[static_cast<std::size_t>(index)];
    EXPECT_TRUE(std::ranges::equal(block, built_in)) << "block " << index;
    EXPECT_EQ(block.size(), image.BlockLengthWord(index) + 2u) << "block " << index;
    EXPECT_LE(image.BlockMessageLength(index), kMaxBlockMessageLength) << "block " << index;
  }
  for (int segment = 0; segment < kSegmentCount; ++segment) {
    EXPECT_EQ(image.BlockMessageLength(segment), image.BlockLengthWord(segment) + 8);
    EXPECT_EQ(image.SegmentSizeWord(segment), release.size_table[static_cast<std::size_t>(segment)]);
    const auto offset = 54 + 4 * static_cast<std::size_t>(segment);
    EXPECT_EQ(image.SegmentAddressWord(segment), ReadWord(&header[offset])) << "segment " << segment;
    EXPECT_EQ(image.SegmentSecondWord(segment), ReadWord(&header[offset + 2])) << "segment " << segment;
  }
  EXPECT_EQ(image.BlockMessageLength(kFullpackIndex), image.BlockLengthWord(kFullpackIndex) + 2);
  EXPECT_EQ(image.BlockMessageLength(kUpgraderHeaderIndex), static_cast<int>(header.size()));
  EXPECT_EQ(image.FullpackVersionWord(), ReadWord(&release.blocks[kFullpackIndex][8]));
  EXPECT_EQ(InstallerRelease(), release.number);
}

TEST(FirmwareImage, StampingWritesOnlyTheStampedFieldsAndAValidChecksum) {
  FirmwareImage image;
  const auto built_in = HeaderOf(image);
  const StationInfo station = SampleStation();
  const FirmwareVersion release{0x0A, 0x03, 0x04D2};  // 3.10:1234
  image.StampUpgraderHeader(release, 0xC29550A1, station);
  const auto stamped = HeaderOf(image);

  ASSERT_EQ(stamped.size(), built_in.size());
  for (std::size_t offset = 0; offset < stamped.size(); ++offset) {
    if (!IsStampedOffset(offset, ChecksumOffset(built_in))) {
      EXPECT_EQ(stamped[offset], built_in[offset]) << "offset " << offset;
    }
  }
  EXPECT_EQ(stamped[12], 0x0A);
  EXPECT_EQ(stamped[13], 0x03);
  EXPECT_EQ(stamped[14], 0xD2);
  EXPECT_EQ(stamped[15], 0x04);
  EXPECT_EQ(ReadLong(&stamped[16]), 0xC29550A1u);
  EXPECT_EQ(ReadWord(&stamped[26]), 42);
  EXPECT_EQ(ReadWord(&stamped[28]), 0x0005);
  EXPECT_EQ(ReadWord(&stamped[30]), 0x0102);
  EXPECT_EQ(ReadWord(&stamped[32]), 0x0200);
  EXPECT_EQ(ReadWord(&stamped[34]), 0x0017);
  EXPECT_EQ(ReadLong(&stamped[36]), 0x11223344u);
  EXPECT_EQ(ReadLong(&stamped[40]), 0x55667788u);
  EXPECT_EQ(ReadLong(&stamped[44]), 0xFFFFFFFFu);
  EXPECT_EQ(ReadLong(&stamped[48]), 0xFFFFFFFFu);
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
  const std::size_t covered = ReadWord(&header[2]);
  EXPECT_EQ(ReadWord(&header[2 + covered]), ComputeChecksum(&header[2], covered, 0));
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
    if (IsStampedOffset(offset, ChecksumOffset(header))) {
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
