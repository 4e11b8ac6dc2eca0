// Writes a STAND-IN release, which is not station code. Two profiles:
//
// - release 2.3:56 (the default), stored as image/standin_release_2.3-56.bin:
//   the layout and every value the installer reads (block length words,
//   size table, segment address words, fullpack version word, header
//   checksum length) are those of release 2.3:56;
// - the second stand-in (--second), generated at build time: another
//   release number, other block lengths, size table, segment addresses,
//   fullpack version word and a longer header whose checksum is not its last
//   word, so that a build with it shows what depends on the first one's
//   numbers.
//
// The code segment and fullpack bodies, the segment second words and the
// header's own bytes are pseudo-random bytes from the profile's seed. The
// stamped header fields and the header checksum are left zero: the header is
// only ever sent after stamping.
//
//   make_standin_release [--second] <output file>
//
// The output is the same on every platform and compiler: the generator
// uses its own xorshift32 and no library random numbers.

#include <array>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "image/release_file.h"

namespace {

using zelt20::kReleaseBlockCount;
using zelt20::kReleaseSegmentCount;

struct StandinProfile {
  zelt20::FirmwareVersion number;
  std::array<std::uint16_t, kReleaseBlockCount> length_words;  // segments, fullpack, header
  std::array<std::uint16_t, kReleaseBlockCount> size_table;
  std::uint16_t fullpack_version;
  std::uint16_t header_checksum_length;
  // Segment i's address word: first + step * i.
  std::uint16_t first_segment_address;
  std::uint16_t segment_address_step;
  std::uint32_t seed;
};

constexpr StandinProfile kRelease2_3_56 = {
    .number = {3, 2, 56},
    .length_words = {9139, 7219, 7096, 8344, 7931, 8315, 5928, 6705, 7409, 7176,
                     9022, 9426, 8628, 7068, 7770, 7315, 7887, 7849, 7848, 8282,
                     8199, 7279, 8712, 7314, 9060, 8359, 770,
                     32213, 162},
    .size_table = {0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000,
                   0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000,
                   0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x0500,
                   32213, 162},  // entries 27 and 28: the block length words
    .fullpack_version = 0x00A0,
    .header_checksum_length = 160,
    .first_segment_address = 0x8000,
    .segment_address_step = 0x400,
    .seed = 0x5A454C54,  // "ZELT"
};

// Release 3.10:1234: a build number above 255 and a two-digit minor number.
// Segment 0 fills its 0x4000 bytes, segment 1's message is exactly one
// 256-byte chunk and segment 2's one byte more, segment 14 fills its size
// word, segment 26 ends in a one-byte chunk, and the fullpack's message is
// exactly 160 chunks. The header is 172 bytes with its checksum at 166-167.
constexpr StandinProfile kSecondStandin = {
    .number = {10, 3, 1234},
    .length_words = {16384, 248,  249,   12000, 4093, 10250, 7777, 3000, 11111, 6400,
                     9999,  5120, 8888,  4500,  12288, 6001, 7500, 2048, 10000, 5555,
                     8192,  3333, 9400,  6666,  11000, 4444, 1017,
                     40958, 170},
    .size_table = {0x4000, 0x0100, 0x0100, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000,
                   0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000,
                   0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x3000, 0x0400,
                   40958, 170},
    .fullpack_version = 0x0B17,
    .header_checksum_length = 164,
    .first_segment_address = 0x6000,
    .segment_address_step = 0x400,
    .seed = 0x32303230,  // "2020"
};

// Marsaglia's xorshift32 (shifts 13, 17, 5); each byte is the top byte of
// the next state.
class Xorshift32 {
 public:
  explicit Xorshift32(std::uint32_t seed) : state_(seed) {}
  std::uint8_t NextByte() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 17;
    state_ ^= state_ << 5;
    return static_cast<std::uint8_t>(state_ >> 24);
  }

 private:
  std::uint32_t state_;
};

void PutWord(std::vector<std::uint8_t>& block, std::size_t offset, std::uint16_t value) {
  block[offset] = static_cast<std::uint8_t>(value);
  block[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::vector<std::uint8_t> RandomBlock(std::uint16_t length_word, Xorshift32& random) {
  std::vector<std::uint8_t> block(length_word + std::size_t{2});
  PutWord(block, 0, length_word);
  for (std::size_t i = 2; i < block.size(); ++i) block[i] = random.NextByte();
  return block;
}

// Header bytes that stamping writes: release and date stamp, station fields
// and reserved words, checksum.
void ClearStampedBytes(std::vector<std::uint8_t>& header, std::size_t checksum_at) {
  struct ByteRange {
    std::size_t first;
    std::size_t end;
  };
  const std::array<ByteRange, 3> stamped = {{{12, 20}, {26, 52}, {checksum_at, checksum_at + 2}}};
  for (const ByteRange range : stamped) {
    for (std::size_t i = range.first; i < range.end; ++i) header[i] = 0;
  }
}

std::vector<std::vector<std::uint8_t>> StandinBlocks(const StandinProfile& profile) {
  Xorshift32 random(profile.seed);
  std::vector<std::vector<std::uint8_t>> blocks;
  for (const std::uint16_t length_word : profile.length_words) {
    blocks.push_back(RandomBlock(length_word, random));
  }

  PutWord(blocks[zelt20::kReleaseFullpackIndex], zelt20::kFullpackVersionOffset,
          profile.fullpack_version);

  auto& header = blocks[zelt20::kReleaseHeaderIndex];
  PutWord(header, zelt20::kHeaderChecksumLengthOffset, profile.header_checksum_length);
  for (int segment = 0; segment < kReleaseSegmentCount; ++segment) {
    PutWord(header, zelt20::SegmentAddressOffset(segment),
            static_cast<std::uint16_t>(profile.first_segment_address +
                                       profile.segment_address_step * segment));
  }
  ClearStampedBytes(header, zelt20::kHeaderChecksumStart + profile.header_checksum_length);
  return blocks;
}

}  // namespace

int main(int argc, char** argv) {
  const bool second = argc == 3 && std::strcmp(argv[1], "--second") == 0;
  if (argc != 2 && !second) {
    std::fprintf(stderr, "usage: make_standin_release [--second] <output file>\n");
    return 2;
  }
  const char* output = argv[argc - 1];
  const StandinProfile& profile = second ? kSecondStandin : kRelease2_3_56;
  const auto blocks = StandinBlocks(profile);
  std::vector<std::span<const std::uint8_t>> views(blocks.begin(), blocks.end());
  const std::vector<std::uint8_t> file =
      zelt20::SerializeRelease(profile.number, views, profile.size_table);

  // The stand-in must pass the same check as any release the build embeds.
  if (const auto release = zelt20::CheckRelease(file); !release) {
    std::fprintf(stderr, "make_standin_release: the stand-in breaks a rule: %s\n",
                 release.Reason().c_str());
    return 1;
  }

  std::ofstream out(output, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_standin_release: cannot write %s\n", output);
    return 1;
  }
  return 0;
}
