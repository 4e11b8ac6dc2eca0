// The stored stand-in release, image/standin_release_2.3-56.bin, read as the
// file it is, whatever release this build embeds: it holds the number and
// the values of release 2.3:56 that the installer reads. (That the generator
// still writes it byte for byte is the CTest standin_release_reproduces.)
// A build that embeds the second stand-in also checks the embedded release
// against the values the build asked the generator for.
#include <gtest/gtest.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <iterator>
#include <vector>

#include "core/byte_order.h"
#include "image/embedded_release.h"
#include "image/release_file.h"

namespace zelt20 {
namespace {

class StoredStandin : public ::testing::Test {
 protected:
  std::vector<std::uint8_t> file;
  ReleaseView release{};

  void SetUp() override {
    std::ifstream in(ZELT20_STANDIN_RELEASE, std::ios::binary);
    file.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    const Checked<ReleaseView> checked = CheckRelease(file);
    ASSERT_TRUE(checked) << ZELT20_STANDIN_RELEASE << ": " << checked.Reason();
    release = *checked;
  }
  std::uint16_t LengthWord(int index) const {
    return ReadWord(release.blocks[static_cast<std::size_t>(index)].data());
  }
  int MessageLength(int index) const { return BlockMessageLengthOf(index, LengthWord(index)); }
  std::uint16_t HeaderWord(std::size_t offset) const {
    return ReadWord(&release.blocks[kReleaseHeaderIndex][offset]);
  }
};

TEST_F(StoredStandin, MessageLengthsOfTheReleaseAddUp) {
  int code_segments = 0;
  for (int segment = 0; segment < kReleaseSegmentCount; ++segment) {
    code_segments += MessageLength(segment);
  }
  EXPECT_EQ(code_segments, 206266);
  EXPECT_EQ(code_segments + MessageLength(kReleaseFullpackIndex), 238481);
}

TEST_F(StoredStandin, HoldsTheValuesOfTheRelease) {
  EXPECT_EQ(release.number, (FirmwareVersion{3, 2, 56}));
  EXPECT_EQ(VersionText(release.number), "2.3:56");
  EXPECT_EQ(LengthWord(0), 9139);
  EXPECT_EQ(MessageLength(0), 9147);
  EXPECT_EQ(release.size_table[0], 0x4000);
  EXPECT_EQ(LengthWord(26), 770);
  EXPECT_EQ(MessageLength(26), 778);
  EXPECT_EQ(release.size_table[26], 0x0500);
  EXPECT_EQ(MessageLength(kReleaseFullpackIndex), 32215);
  EXPECT_EQ(LengthWord(kReleaseHeaderIndex), 162);
  EXPECT_EQ(MessageLength(kReleaseHeaderIndex), 164);
  EXPECT_EQ(ReadWord(&release.blocks[kReleaseFullpackIndex][kFullpackVersionOffset]), 0x00A0);
  EXPECT_EQ(HeaderWord(kHeaderChecksumLengthOffset), 160);
  for (int segment = 0; segment < kReleaseSegmentCount; ++segment) {
    EXPECT_EQ(HeaderWord(SegmentAddressOffset(segment)), 0x8000 + 0x400 * segment)
        << "segment " << segment;
  }
}

#if defined(ZELT20_SECOND_STANDIN_RELEASE)
TEST(EmbeddedSecondStandin, HoldsWhatTheBuildAskedFor) {
  const ReleaseView& release = EmbeddedRelease();
  const std::array<std::uint16_t, kReleaseBlockCount> length_words = {ZELT20_SECOND_STANDIN_LENGTH_WORDS};
  const std::array<std::uint16_t, kReleaseBlockCount> size_table = {ZELT20_SECOND_STANDIN_SIZE_TABLE};
  const std::array<std::uint16_t, 2> addresses = {ZELT20_SECOND_STANDIN_SEGMENT_ADDRESSES};  // first, step
  const auto header = release.blocks[kReleaseHeaderIndex];

  EXPECT_EQ(VersionText(release.number), ZELT20_SECOND_STANDIN_RELEASE);
  for (std::size_t index = 0; index < length_words.size(); ++index) {
    EXPECT_EQ(ReadWord(release.blocks[index].data()), length_words[index]) << "block " << index;
    EXPECT_EQ(release.size_table[index], size_table[index]) << "block " << index;
  }
  EXPECT_EQ(ReadWord(&release.blocks[kReleaseFullpackIndex][kFullpackVersionOffset]),
            ZELT20_SECOND_STANDIN_FULLPACK_VERSION);
  EXPECT_EQ(ReadWord(&header[kHeaderChecksumLengthOffset]), ZELT20_SECOND_STANDIN_HEADER_CHECKSUM_LENGTH);
  for (int segment = 0; segment < kReleaseSegmentCount; ++segment) {
    const auto address = static_cast<std::uint16_t>(addresses[0] + addresses[1] * segment);
    EXPECT_EQ(ReadWord(&header[SegmentAddressOffset(segment)]), address) << "segment " << segment;
  }
}
#endif

}  // namespace
}  // namespace zelt20
