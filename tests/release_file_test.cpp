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
  std::vector<std::vector<std::uint8_t>> blocks;
  std::vector<std::uint16_t> size_table;

  EditableRelease() {
    const ReleaseView& release = EmbeddedRelease();
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
    return SerializeRelease(views, size_table);
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

TEST(ReleaseFile, RefusesABrokenFileLayout) {
  const auto sound = EditableRelease().File();
  auto cut = [&](std::size_t size) {
    return Check(std::vector<std::uint8_t>(sound.begin(), sound.begin() + static_cast<std::ptrdiff_t>(size)));
  };
  EXPECT_EQ(cut(5), "truncated file: the file header needs 8 bytes, only 5 remain");
  EXPECT_EQ(cut(8 + 9141 + 100),
            "truncated file: code segment 1 (block 1) needs 7221 bytes, only 100 remain");
  EXPECT_EQ(cut(8 + 9141 + 1),
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
  newer[4] = 2;
  EXPECT_EQ(Check(newer), "release file format version 2 is not supported (only version 1)");
}

}  // namespace
}  // namespace zelt20
