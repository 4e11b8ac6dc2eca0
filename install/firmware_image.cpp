#include "install/firmware_image.h"

#include "image/embedded_release.h"
#include "link/packet.h"

namespace zelt20 {
namespace {

// Stamped header fields. Bytes 12 to 51 have the layout of the station
// information record, header offset 12 + k holding record offset k.
constexpr std::size_t kReleaseMinorOffset = 12;
constexpr std::size_t kReleaseMajorOffset = 13;
constexpr std::size_t kReleaseBuildOffset = 14;
constexpr std::size_t kDateStampOffset = 16;
constexpr std::size_t kProcessorSerialOffset = 26;
constexpr std::size_t kBiosOffset = 28;
constexpr std::size_t kMonitorOffset = 30;
constexpr std::size_t kRamSizeOffset = 32;
constexpr std::size_t kMinimumCodeVersionOffset = 34;
constexpr std::size_t kHardwareVersion1Offset = 36;
constexpr std::size_t kHardwareVersion2Offset = 40;
constexpr std::size_t kReserved1Offset = 44;
constexpr std::size_t kReserved2Offset = 48;
constexpr std::uint32_t kAllOnes = 0xFFFFFFFF;

void WriteLong(std::uint8_t* bytes, std::uint32_t value) {
  WriteWord(bytes, static_cast<std::uint16_t>(value));
  WriteWord(bytes + 2, static_cast<std::uint16_t>(value >> 16));
}

std::span<const std::uint8_t> EmbeddedBlock(int index) {
  return EmbeddedRelease().blocks[static_cast<std::size_t>(index)];
}

}  // namespace

FirmwareVersion InstallerRelease() { return EmbeddedRelease().number; }

FirmwareImage::FirmwareImage() {
  const auto header = EmbeddedBlock(kUpgraderHeaderIndex);
  header_.assign(header.begin(), header.end());
}

std::span<const std::uint8_t> FirmwareImage::BlockBytes(int index) const {
  if (index == kUpgraderHeaderIndex) return header_;
  return EmbeddedBlock(index);
}

std::uint16_t FirmwareImage::BlockLengthWord(int index) const {
  return ReadWord(BlockBytes(index).data());
}

int FirmwareImage::BlockMessageLength(int index) const {
  return BlockMessageLengthOf(index, BlockLengthWord(index));
}

std::uint16_t FirmwareImage::SegmentSizeWord(int segment) const {
  return EmbeddedRelease().size_table[static_cast<std::size_t>(segment)];
}

std::uint16_t FirmwareImage::SegmentAddressWord(int segment) const {
  return ReadWord(&header_[SegmentAddressOffset(segment)]);
}

std::uint16_t FirmwareImage::SegmentSecondWord(int segment) const {
  return ReadWord(&header_[SegmentSecondOffset(segment)]);
}

std::uint16_t FirmwareImage::FullpackVersionWord() const {
  return ReadWord(&EmbeddedBlock(kFullpackIndex)[kFullpackVersionOffset]);
}

// The build refused any header too short for these fields and its checksum.
void FirmwareImage::StampUpgraderHeader(FirmwareVersion release, std::uint32_t date_stamp,
                                        const StationInfo& station) {
  std::uint8_t* header = header_.data();
  header[kReleaseMinorOffset] = release.minor;
  header[kReleaseMajorOffset] = release.major;
  WriteWord(header + kReleaseBuildOffset, release.build);
  WriteLong(header + kDateStampOffset, date_stamp);
  WriteWord(header + kProcessorSerialOffset, station.processor_serial);
  WriteWord(header + kBiosOffset, station.bios);
  WriteWord(header + kMonitorOffset, station.monitor);
  WriteWord(header + kRamSizeOffset, station.ram_kb);
  WriteWord(header + kMinimumCodeVersionOffset, station.minimum_code_version);
  WriteLong(header + kHardwareVersion1Offset, station.hardware_version_1);
  WriteLong(header + kHardwareVersion2Offset, station.hardware_version_2);
  WriteLong(header + kReserved1Offset, kAllOnes);
  WriteLong(header + kReserved2Offset, kAllOnes);

  // The checksum covers L2 bytes starting with the checksum length word
  // itself, but not the block length word.
  const std::size_t covered = ReadWord(header + kHeaderChecksumLengthOffset);
  WriteWord(header + kHeaderChecksumStart + covered,
            ComputeChecksum(header + kHeaderChecksumStart, covered, 0));
}

}  // namespace zelt20
