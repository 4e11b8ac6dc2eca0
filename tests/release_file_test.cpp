// The release file check that the build runs before it embeds a release:
// broken files are refused with the rule they break, sound ones pass.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "image/embedded_release.h"
#include "image/release_file.h"

namespace zelt20 {
namespace {

// The embedded release, taken apart so that single blocks can be broken.
struct EditableRelease {
  FirmwareVersion number;
  std::vector<std::vector<std::uint8_t>> blocks;
  std::vector<std::uint16_t> size_table;

  EditableRelease() {
    const ReleaseView& release = EmbeddedRelease();
    number = release.number;
    for (const auto block : release.blocks) blocks.emplace_back(block.begin(), block.end());
    size_table.assign(release.size_table.begin(), release.size_table.end());
  }

  void SetWord(int block, std::size_t offset, std::uint16_t value) {
    auto& bytes = blocks[static_cast<std::size_t>(block)];
    bytes[offset] = static_cast<std::uint8_t>(value);
    bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
  }
  void SetLength(int block, std::uint16_t length_word) {
    blocks[static_cast<std::size_t>(block)].resize(length_word + std::size_t{2});
    SetWord(block, 0, length_word);
  }

  std::vector<std::uint8_t> File() const {
    const std::vector<std::span<const std::uint8_t>> views(blocks.begin(), blocks.end());
    return SerializeRelease(number, views, size_table);
  }
};

// The broken rule, or an empty text.
std::string Check(const std::vector<std::uint8_t>& file) { return CheckRelease(file).Reason(); }

std::string Check(const EditableRelease& release) { return Check(release.File()); }

TEST(ReleaseFile, TheEmbeddedReleaseRoundTrips) {
  const auto file = EditableRelease().File();
  const Checked<ReleaseView> parsed = CheckRelease(file);
  ASSERT_TRUE(parsed) << parsed.Reason();
  const ReleaseView& embedded = EmbeddedRelease();
  EXPECT_EQ(parsed->number, embedded.number);
  for (std::size_t i = 0; i < embedded.blocks.size(); ++i) {
    EXPECT_TRUE(std::ranges::equal(parsed->blocks[i], embedded.blocks[i])) << "block " << i;
  }
  EXPECT_EQ(parsed->size_table, embedded.size_table);
}

TEST(ReleaseFile, RefusesAnyBlockCountButTwentyNine) {
  EditableRelease short_one;
  short_one.blocks.pop_back();
  short_one.size_table.pop_back();
  EXPECT_EQ(Check(short_one),
            "the file holds 28 blocks; a release has exactly 29 (27 code segments, the fullpack "
            "and the upgrader header)");
  EditableRelease long_one;
  long_one.blocks.push_back(long_one.blocks.back());
  long_one.size_table.push_back(0);
  EXPECT_NE(Check(long_one).find("holds 30 blocks"), std::string::npos);
}

TEST(ReleaseFile, RefusesMessagesBeyondTheTransferBuffer) {
  EditableRelease release;
  release.SetLength(5, 63992);  // 64000 with the 8 bytes of a code segment
  release.SetLength(kReleaseFullpackIndex, 63998);
  release.SetWord(kReleaseFullpackIndex, kFullpackVersionOffset, 0x00A0);
  EXPECT_EQ(Check(release), "");

  release.SetLength(5, 63993);
  EXPECT_EQ(Check(release),
            "code segment 5 (block 5): block message length 64001 exceeds 64000, the block "
            "transfer's message buffer");
  release.SetLength(5, 100);
  release.SetLength(kReleaseFullpackIndex, 63999);
  EXPECT_NE(Check(release).find("the fullpack (block 27): block message length 64001"),
            std::string::npos);
}

TEST(ReleaseFile, RefusesAHeaderWithoutRoomForItsWordsAndChecksum) {
  EditableRelease release;
  release.SetLength(kReleaseHeaderIndex, 162);
  release.SetWord(kReleaseHeaderIndex, kHeaderChecksumLengthOffset, 161);
  EXPECT_EQ(Check(release),
            "the upgrader header's checksum falls outside the block: checksum length 161 + 2 "
            "exceeds the block length 162 (the rule is L2 + 2 <= L)");
  release.SetWord(kReleaseHeaderIndex, kHeaderChecksumLengthOffset, 159);
  EXPECT_EQ(Check(release),
            "the upgrader header's checksum length 159 does not cover the per-segment words, "
            "which end at offset 162 (the rule is 2 + L2 >= 162)");

  // A longer header may put its checksum anywhere from offset 162 to its end.
  release.SetLength(kReleaseHeaderIndex, 200);
  for (const std::uint16_t covered : {std::uint16_t{160}, std::uint16_t{198}}) {
    release.SetWord(kReleaseHeaderIndex, kHeaderChecksumLengthOffset, covered);
    EXPECT_EQ(Check(release), "") << "checksum length " << covered;
  }
  release.SetLength(kReleaseHeaderIndex, 1);
  EXPECT_NE(Check(release).find("too short to hold its checksum length word"), std::string::npos);
}

TEST(ReleaseFile, RefusesAFullpackWithoutItsVersionWord) {
  EditableRelease release;
  release.SetLength(kReleaseFullpackIndex, 8);
  EXPECT_EQ(Check(release), "");
  release.SetLength(kReleaseFullpackIndex, 7);
  EXPECT_EQ(Check(release),
            "the fullpack (block 27) is too short to hold its version word at offset 8");
}

TEST(ReleaseFile, RefusesANumberThatIsNoRelease) {
  EditableRelease release;
  release.number = {0xFF, 0xFF, 0xFFFF};
  EXPECT_EQ(Check(release),
            "the release number 255.255:65535 is the firmware version of a station without code");
  release.number = {};
  EXPECT_EQ(Check(release), "the release number is 0.0:0: it was never filled in");
  // Any other number is a release, the smallest and the largest included.
  for (const FirmwareVersion number : {FirmwareVersion{0, 0, 1}, FirmwareVersion{0xFF, 0xFF, 0xFFFE},
                                       FirmwareVersion{0xFE, 0xFF, 0xFFFF}}) {
    release.number = number;
    const auto file = release.File();
    const Checked<ReleaseView> parsed = CheckRelease(file);
    ASSERT_TRUE(parsed) << VersionText(number) << ": " << parsed.Reason();
    EXPECT_EQ(parsed->number, number);
  }
}

TEST(ReleaseFile, RefusesABrokenFileLayout) {
  const EditableRelease release;
  const auto sound = release.File();
  auto cut = [&](std::size_t size) {
    return Check(std::vector<std::uint8_t>(sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(size)));
  };
  constexpr std::size_t kFileHeader = 12;
  const std::size_t block_1_at = kFileHeader + release.blocks[0].size();
  const std::string block_1_size = std::to_string(release.blocks[1].size());
  EXPECT_EQ(cut(5), "truncated file: the file header needs 12 bytes, only 5 remain");
  EXPECT_EQ(cut(11), "truncated file: the file header needs 12 bytes, only 11 remain");
  EXPECT_EQ(cut(block_1_at + 3),
            "truncated file: code segment 1 (block 1) needs " + block_1_size + " bytes, only 3 remain");
  EXPECT_EQ(cut(block_1_at + 1),
            "truncated file: the length word of code segment 1 (block 1) needs 2 bytes, only 1 "
            "remain");
  EXPECT_EQ(cut(sound.size() - 58), "the size table is missing: the file ends after the last block");
  EXPECT_EQ(cut(sound.size() - 1), "truncated file: the size table needs 58 bytes, only 57 remain");

  auto trailing = sound;
  trailing.push_back(0);
  EXPECT_EQ(Check(trailing), "trailing bytes after the size table: 1");

  auto foreign = sound;
  foreign[0] = 'M';
  EXPECT_EQ(Check(foreign), "not a release file: it does not begin with \"Z20R\"");
  auto newer = sound;
  newer[4] = 3;
  EXPECT_EQ(Check(newer), "release file format version 3 is not supported (only version 2)");
  auto older = sound;
  older[4] = 1;
  EXPECT_EQ(Check(older),
            "release file format version 1 is not supported (only version 2): version 1 carries no "
            "release number");
}

}  // namespace
}  // namespace zelt20
