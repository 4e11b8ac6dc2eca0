// Writes the STAND-IN release 2.3:56, which is not station code. The layout
// and every value the installer reads (block length words, size table,
// segment address words, fullpack version word, header checksum length)
// are those of release 2.3:56; the code segment and fullpack bodies, the
// segment second words and the header's own bytes are pseudo-random bytes
// from a fixed seed. The stamped header fields and the header checksum are
// left zero: the header is only ever sent after stamping.
//
//   make_standin_release <output file>
//
// The output is the same on every platform and compiler: the generator
// uses its own xorshift32 and no library random numbers.

#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <span>
#include <string>
#include <vector>

#include "image/release_file.h"

namespace {

using zelt20::kReleaseBlockCount;
using zelt20::kReleaseSegmentCount;

constexpr std::array<std::uint16_t, kReleaseBlockCount> kBlockLengthWords = {
    9139, 7219, 7096, 8344, 7931, 8315, 5928, 6705, 7409, 7176,
    9022, 9426, 8628, 7068, 7770, 7315, 7887, 7849, 7848, 8282,
    8199, 7279, 8712, 7314, 9060, 8359, 770,   // code segments 0 to 26
    32213,                                     // fullpack
    162,                                       // upgrader header
};

constexpr std::array<std::uint16_t, kReleaseBlockCount> kSizeTable = {
    0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000,
    0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000,
    0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x4000, 0x0500,
    32213,  // the fullpack's block length word
    162,    // the upgrader header's block length word
};

constexpr std::uint16_t kFullpackVersion = 0x00A0;
constexpr std::uint16_t kHeaderChecksumLength = 160;
constexpr std::uint16_t kFirstSegmentAddress = 0x8000;
constexpr std::uint16_t kSegmentAddressStep = 0x400;

// Header bytes that stamping writes: release and date stamp, station fields
// and reserved words, checksum.
struct ByteRange {
  std::size_t first;
  std::size_t end;
};
constexpr std::array<ByteRange, 3> kStampedHeaderBytes = {{{12, 20}, {26, 52}, {162, 164}}};

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
constexpr std::uint32_t kSeed = 0x5A454C54;  // "ZELT"

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

std::vector<std::vector<std::uint8_t>> StandinBlocks() {
  Xorshift32 random(kSeed);
  std::vector<std::vector<std::uint8_t>> blocks;
  for (const std::uint16_t length_word : kBlockLengthWords) {
    blocks.push_back(RandomBlock(length_word, random));
  }

  PutWord(blocks[zelt20::kReleaseFullpackIndex], zelt20::kFullpackVersionOffset, kFullpackVersion);

  auto& header = blocks[zelt20::kReleaseHeaderIndex];
  PutWord(header, zelt20::kHeaderChecksumLengthOffset, kHeaderChecksumLength);
  for (int segment = 0; segment < kReleaseSegmentCount; ++segment) {
    PutWord(header, zelt20::SegmentAddressOffset(segment),
            static_cast<std::uint16_t>(kFirstSegmentAddress + kSegmentAddressStep * segment));
  }
  for (const ByteRange range : kStampedHeaderBytes) {
    for (std::size_t i = range.first; i < range.end; ++i) header[i] = 0;
  }
  return blocks;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_standin_release <output file>\n");
    return 2;
  }
  const auto blocks = StandinBlocks();
  std::vector<std::span<const std::uint8_t>> views(blocks.begin(), blocks.end());
  const std::vector<std::uint8_t> file = zelt20::SerializeRelease(views, kSizeTable);

  // The stand-in must pass the same check as any release the build embeds.
  if (const auto release = zelt20::CheckRelease(file); !release) {
    std::fprintf(stderr, "make_standin_release: the stand-in breaks a rule: %s\n",
                 release.Reason().c_str());
    return 1;
  }

  std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  out.close();
  if (!out) {
    std::fprintf(stderr, "make_standin_release: cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
