#include "image/release_file.h"

#include <algorithm>
#include <cstddef>

namespace zelt20 {
namespace {

constexpr std::size_t kBlockCountOffset = 6;
constexpr std::size_t kNumberOffset = 8;  // minor byte, major byte, build word
constexpr std::size_t kFileHeaderSize = kNumberOffset + 4;
constexpr std::size_t kSizeTableBytes = 2 * kReleaseBlockCount;

std::uint16_t WordAt(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

void AppendWord(std::vector<std::uint8_t>& out, std::uint16_t value) {
  out.push_back(static_cast<std::uint8_t>(value));
  out.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::string BlockName(int index) {
  const std::string number = std::to_string(index);
  if (index == kReleaseFullpackIndex) return "the fullpack (block " + number + ")";
  if (index == kReleaseHeaderIndex) return "the upgrader header (block " + number + ")";
  return "code segment " + number + " (block " + number + ")";
}

Refusal Truncated(const std::string& what, std::size_t needed, std::size_t left) {
  return {"truncated file: " + what + " needs " + std::to_string(needed) + " bytes, only " +
          std::to_string(left) + " remain"};
}

Checked<> CheckUpgraderHeader(std::span<const std::uint8_t> header) {
  if (header.size() < kHeaderChecksumLengthOffset + 2) {
    return Refusal{"the upgrader header (block 28) is too short to hold its checksum length word"};
  }
  const std::size_t length = header.size() - 2;
  const std::size_t covered = WordAt(header, kHeaderChecksumLengthOffset);
  const std::size_t checksum_offset = kHeaderChecksumStart + covered;
  if (covered + 2 > length) {
    return Refusal{"the upgrader header's checksum falls outside the block: checksum length " +
                   std::to_string(covered) + " + 2 exceeds the block length " +
                   std::to_string(length) + " (the rule is L2 + 2 <= L)"};
  }
  if (checksum_offset < kHeaderSegmentWordsEnd) {
    return Refusal{"the upgrader header's checksum length " + std::to_string(covered) +
                   " does not cover the per-segment words, which end at offset " +
                   std::to_string(kHeaderSegmentWordsEnd) + " (the rule is 2 + L2 >= " +
                   std::to_string(kHeaderSegmentWordsEnd) + ")"};
  }
  return Accepted{};
}

}  // namespace

Checked<ReleaseView> ParseRelease(std::span<const std::uint8_t> file) {
  if (file.size() < kFileHeaderSize) {
    return Truncated("the file header", kFileHeaderSize, file.size());
  }
  if (!std::equal(std::begin(kReleaseFileMagic), std::end(kReleaseFileMagic), file.begin())) {
    return Refusal{"not a release file: it does not begin with \"Z20R\""};
  }
  const std::uint16_t version = WordAt(file, 4);
  if (version != kReleaseFileVersion) {
    return Refusal{"release file format version " + std::to_string(version) +
                   " is not supported (only version " + std::to_string(kReleaseFileVersion) + ")" +
                   (version == 1 ? ": version 1 carries no release number" : "")};
  }
  const std::uint16_t count = WordAt(file, kBlockCountOffset);
  if (count != kReleaseBlockCount) {
    return Refusal{"the file holds " + std::to_string(count) + " blocks; a release has exactly " +
                   std::to_string(kReleaseBlockCount) +
                   " (27 code segments, the fullpack and the upgrader header)"};
  }

  ReleaseView release{};
  release.number = {file[kNumberOffset], file[kNumberOffset + 1], WordAt(file, kNumberOffset + 2)};
  std::size_t offset = kFileHeaderSize;
  for (int index = 0; index < kReleaseBlockCount; ++index) {
    const std::size_t left = file.size() - offset;
    if (left < 2) return Truncated("the length word of " + BlockName(index), 2, left);
    const std::size_t block_size = WordAt(file, offset) + std::size_t{2};
    if (left < block_size) return Truncated(BlockName(index), block_size, left);
    release.blocks[static_cast<std::size_t>(index)] = file.subspan(offset, block_size);
    offset += block_size;
  }

  const std::size_t left = file.size() - offset;
  if (left == 0) return Refusal{"the size table is missing: the file ends after the last block"};
  if (left < kSizeTableBytes) return Truncated("the size table", kSizeTableBytes, left);
  if (left > kSizeTableBytes) {
    return Refusal{"trailing bytes after the size table: " + std::to_string(left - kSizeTableBytes)};
  }
  for (std::size_t i = 0; i < release.size_table.size(); ++i) {
    release.size_table[i] = WordAt(file, offset + 2 * i);
  }
  return release;
}

Checked<ReleaseView> ValidateRelease(const ReleaseView& release) {
  // All ones is how a station says it holds no code; all zeros is a number
  // nobody filled in.
  if (release.number.Word() == kNoCodeVersion) {
    return Refusal{"the release number " + VersionText(release.number) +
                   " is the firmware version of a station without code"};
  }
  if (release.number.Word() == 0) return Refusal{"the release number is 0.0:0: it was never filled in"};
  for (int index = 0; index < kReleaseBlockCount; ++index) {
    const auto block = release.blocks[static_cast<std::size_t>(index)];
    const int message_length = BlockMessageLengthOf(index, WordAt(block, 0));
    if (message_length > kReleaseMaxMessageLength) {
      return Refusal{BlockName(index) + ": block message length " +
                     std::to_string(message_length) + " exceeds " +
                     std::to_string(kReleaseMaxMessageLength) +
                     ", the block transfer's message buffer"};
    }
  }
  if (release.blocks[kReleaseFullpackIndex].size() < kFullpackVersionOffset + 2) {
    return Refusal{"the fullpack (block 27) is too short to hold its version word at offset 8"};
  }
  if (const Checked<> header = CheckUpgraderHeader(release.blocks[kReleaseHeaderIndex]); !header) {
    return Refusal{header.Reason()};
  }
  return release;
}

Checked<ReleaseView> CheckRelease(std::span<const std::uint8_t> file) {
  const Checked<ReleaseView> parsed = ParseRelease(file);
  return parsed ? ValidateRelease(*parsed) : parsed;
}

std::vector<std::uint8_t> SerializeRelease(FirmwareVersion number,
                                           std::span<const std::span<const std::uint8_t>> blocks,
                                           std::span<const std::uint16_t> size_table) {
  std::vector<std::uint8_t> out(std::begin(kReleaseFileMagic), std::end(kReleaseFileMagic));
  AppendWord(out, kReleaseFileVersion);
  AppendWord(out, static_cast<std::uint16_t>(blocks.size()));
  out.push_back(number.minor);
  out.push_back(number.major);
  AppendWord(out, number.build);
  for (const auto block : blocks) out.insert(out.end(), block.begin(), block.end());
  for (const std::uint16_t entry : size_table) AppendWord(out, entry);
  return out;
}

}  // namespace zelt20
