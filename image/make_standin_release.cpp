// Writes a STAND-IN release, which is not station code. Two kinds:
//
// - release 2.3:56 (no options), stored as image/standin_release_2.3-56.bin:
//   the layout and every value the installer reads (block length words,
//   size table, segment address words, fullpack version word, header
//   checksum length) are those of release 2.3:56;
// - a release with the values given as options: the build makes the second
//   stand-in so (image/CMakeLists.txt), with another release number, other
//   block lengths, size table, segment addresses, fullpack version word and
//   a longer header whose checksum is not its last word, so that a build
//   with it shows what depends on the first one's numbers.
//
// The code segment and fullpack bodies, the segment second words and the
// header's own bytes are pseudo-random bytes from the seed. The stamped
// header fields and the header checksum are left zero: the header is only
// ever sent after stamping.
//
//   make_standin_release [--release M.m:B --length-words W0,...,W28
//       --size-table S0,...,S28 --fullpack-version V --header-checksum-length L
//       --segment-addresses FIRST,STEP --seed SEED] <output file>
//
// Numbers are decimal or hexadecimal with 0x; segment i's address word is
// FIRST + STEP * i. The output is the same on every platform and compiler:
// the generator uses its own xorshift32 and no library random numbers.

#include <array>
#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <limits>
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
  std::array<std::uint16_t, 2> segment_addresses;  // first, step
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
    .segment_addresses = {0x8000, 0x400},
    .seed = 0x5A454C54,  // "ZELT"
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
            static_cast<std::uint16_t>(profile.segment_addresses[0] +
                                       profile.segment_addresses[1] * segment));
  }
  ClearStampedBytes(header, zelt20::kHeaderChecksumStart + profile.header_checksum_length);
  return blocks;
}

// Reads exactly `values.size()` comma-separated numbers that fit Word.
template <typename Word>
bool ReadNumbers(const char* text, std::span<Word> values) {
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
    char* end = nullptr;
    errno = 0;
    const unsigned long value = std::strtoul(text, &end, 0);
    if (errno != 0 || value > std::numeric_limits<Word>::max()) return false;
    values[i] = static_cast<Word>(value);
    if (*end != (i + 1 < values.size() ? ',' : '\0')) return false;
    text = end + 1;
  }
  return true;
}

template <typename Word>
bool ReadNumber(const char* text, Word& value) {
  return ReadNumbers(text, std::span(&value, 1));
}

// "major.minor:build".
bool ReadRelease(const char* text, zelt20::FirmwareVersion& number) {
  std::array<std::uint16_t, 3> parts{};
  std::string list(text);
  const std::size_t dot = list.find('.');
  const std::size_t colon = list.find(':');
  if (dot == std::string::npos || colon == std::string::npos || colon < dot) return false;
  list[dot] = ',';
  list[colon] = ',';
  if (!ReadNumbers<std::uint16_t>(list.c_str(), parts) || parts[0] > 0xFF || parts[1] > 0xFF) return false;
  number = {.minor = static_cast<std::uint8_t>(parts[1]),
            .major = static_cast<std::uint8_t>(parts[0]),
            .build = parts[2]};
  return true;
}

// The profile the options give: every one of them, once each.
bool ReadProfile(std::span<char* const> options, StandinProfile& profile) {
  struct Field {
    const char* option;
    std::function<bool(const char*)> read;
    bool given = false;
  };
  Field fields[] = {
      {"--release", [&](const char* text) { return ReadRelease(text, profile.number); }},
      {"--length-words", [&](const char* text) { return ReadNumbers<std::uint16_t>(text, profile.length_words); }},
      {"--size-table", [&](const char* text) { return ReadNumbers<std::uint16_t>(text, profile.size_table); }},
      {"--fullpack-version", [&](const char* text) { return ReadNumber(text, profile.fullpack_version); }},
      {"--header-checksum-length",
       [&](const char* text) { return ReadNumber(text, profile.header_checksum_length); }},
      {"--segment-addresses",
       [&](const char* text) { return ReadNumbers<std::uint16_t>(text, profile.segment_addresses); }},
      {"--seed", [&](const char* text) { return ReadNumber(text, profile.seed); }},
  };
  if (options.size() != 2 * std::size(fields)) return false;
  for (std::size_t i = 0; i < options.size(); i += 2) {
    Field* field = nullptr;
    for (Field& candidate : fields) {
      if (std::strcmp(options[i], candidate.option) == 0) field = &candidate;
    }
    if (field == nullptr || field->given || !field->read(options[i + 1])) {
      std::fprintf(stderr, "make_standin_release: cannot take %s %s\n", options[i], options[i + 1]);
      return false;
    }
    field->given = true;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  StandinProfile profile = kRelease2_3_56;
  const std::span<char* const> options(argv + 1, argc > 1 ? static_cast<std::size_t>(argc - 2) : 0);
  if (argc < 2 || (!options.empty() && !ReadProfile(options, profile))) {
    std::fprintf(stderr,
                 "usage: make_standin_release [--release M.m:B --length-words W0,...,W28 "
                 "--size-table S0,...,S28 --fullpack-version V --header-checksum-length L "
                 "--segment-addresses FIRST,STEP --seed SEED] <output file>\n");
    return 2;
  }
  const char* output = argv[argc - 1];
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
