#include "install/firmware_image.h"

#include "core/byte_order.h"
#include "image/embedded_release.h"
#include "link/packet.h"

namespace zelt20 {
namespace {

constexpr std::uint32_t kAllOnes = 0xFFFFFFFF;

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
  WriteLong(header + kHeaderReleaseOffset, release.Word());
  WriteLong(header + kHeaderDateStampOffset, date_stamp);
  WriteWord(header + kHeaderProcessorSerialOffset, station.processor_serial);
  WriteWord(header + kHeaderBiosOffset, station.bios);
  WriteWord(header + kHeaderMonitorOffset, station.monitor);
  WriteWord(header + kHeaderRamSizeOffset, station.ram_kb);
  WriteWord(header + kHeaderMinimumCodeVersionOffset, station.minimum_code_version);
  WriteLong(header + kHeaderHardwareVersion1Offset, station.hardware_version_1);
  WriteLong(header + kHeaderHardwareVersion2Offset, station.hardware_version_2);
  WriteLong(header + kHeaderReservedOffset, kAllOnes);
  WriteLong(header + kHeaderReservedOffset + 4, kAllOnes);

  // The checksum covers L2 bytes starting with the checksum length word
  // itself, but not the block length word.
  const std::size_t covered = ReadWord(header + kHeaderChecksumLengthOffset);
  WriteWord(header + kHeaderChecksumStart + covered,
            ComputeChecksum(header + kHeaderChecksumStart, covered, 0));
}

}  // namespace zelt20
