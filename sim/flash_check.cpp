#include "sim/flash_check.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <span>

#include "core/byte_order.h"
#include "image/release_layout.h"
#include "link/packet.h"
#include "sim/station_reply.h"

namespace zelt20::sim {
namespace {

// The station fields sit at the same place in the record, 12 bytes earlier.
constexpr std::size_t kRecordStationFieldsAt = kHeaderProcessorSerialOffset - kHeaderRecordOffset;

std::string Hex(unsigned value) {
  char text[16];
  std::snprintf(text, sizeof text, "%X", value);
  return text;
}

// The first offset from `from` below `to` where the two differ, if any.
std::optional<std::size_t> FirstDifference(std::span<const std::uint8_t> got,
                                           std::span<const std::uint8_t> want, std::size_t from,
                                           std::size_t to) {
  for (std::size_t i = from; i < to; ++i) {
    if (got[i] != want[i]) return i;
  }
  return std::nullopt;
}

class Checker {
 public:
  explicit Checker(std::vector<std::string>& problems) : problems_(problems) {}

  void Expect(bool holds, const std::string& problem) {
    if (!holds) Fail(problem);
  }
  void Fail(const std::string& problem) { problems_.push_back(problem); }
  // A message of the release, compared byte for byte.
  void ExpectMessage(const std::string& what, std::span<const std::uint8_t> got,
                     std::span<const std::uint8_t> want) {
    if (got.empty()) {
      Fail(what + " was not flashed");
    } else if (got.size() != want.size()) {
      Fail(what + " is " + std::to_string(got.size()) + " bytes, the release's " +
                          std::to_string(want.size()));
    } else if (const auto at = FirstDifference(got, want, 0, got.size())) {
      Fail(what + " differs from the release at message byte " + std::to_string(*at));
    }
  }

 private:
  std::vector<std::string>& problems_;
};

void CheckHeader(std::span<const std::uint8_t> got, std::span<const std::uint8_t> release,
                 const StationInfo& station, Checker& check) {
  if (got.empty() || got.size() != release.size()) {
    check.ExpectMessage("the upgrader header", got, release);
    return;
  }
  const FirmwareVersion release_number = InstallerRelease();
  const std::array<std::uint8_t, 4> version = {release_number.minor, release_number.major,
                                               static_cast<std::uint8_t>(release_number.build),
                                               static_cast<std::uint8_t>(release_number.build >> 8)};
  check.Expect(std::ranges::equal(got.subspan(kHeaderReleaseOffset, 4), version),
               "header bytes 12-15 do not hold release " + VersionText(release_number));

  const std::array<std::uint8_t, StationInfo::kSize> record = RecordBytes(station);
  const std::size_t field_bytes = kHeaderReservedOffset - kHeaderProcessorSerialOffset;
  check.Expect(std::ranges::equal(got.subspan(kHeaderProcessorSerialOffset, field_bytes),
                                  std::span(record).subspan(kRecordStationFieldsAt, field_bytes)),
               "header bytes 26-43 do not hold the station's hardware fields");
  check.Expect(std::ranges::all_of(got.subspan(kHeaderReservedOffset,
                                               kHeaderStampedEnd - kHeaderReservedOffset),
                                   [](std::uint8_t b) { return b == 0xFF; }),
               "header bytes 44-51 are not all ones");

  // The image's own checksum length: the flashed one must not differ anyway.
  const std::size_t covered = ReadWord(&release[kHeaderChecksumLengthOffset]);
  const std::size_t checksum_at = kHeaderChecksumStart + covered;
  if (checksum_at + 2 > got.size()) {
    check.Fail("the release's header checksum length runs past the header");
    return;
  }
  check.Expect(ComputeChecksum(&got[kHeaderChecksumStart], covered, 0) == ReadWord(&got[checksum_at]),
               "the header checksum is wrong");

  const std::array<std::pair<std::size_t, std::size_t>, 3> kept = {
      {{0, kHeaderReleaseOffset},
       {kHeaderDateStampOffset + 4, kHeaderProcessorSerialOffset},
       {kHeaderStampedEnd, checksum_at}}};
  for (const auto& [from, to] : kept) {
    if (const auto at = FirstDifference(got, release, from, to)) {
      check.Fail("header byte " + std::to_string(*at) + " differs from the release");
    }
  }
  if (const auto at = FirstDifference(got, release, checksum_at + 2, got.size())) {
    check.Fail("header byte " + std::to_string(*at) + " differs from the release");
  }
}

void CheckFullpack(const FlashedState& flashed, const FirmwareImage& release, Checker& check) {
  const std::uint16_t release_version = release.FullpackVersionWord();
  const auto reported = flashed.reported_fullpack_version;
  if (flashed.code->fullpack.empty()) {
    check.Expect(!reported || *reported == release_version,
                 "the fullpack was not sent although the station reported version " +
                     Hex(reported.value_or(0)) + " and the release has " + Hex(release_version));
    return;
  }
  check.Expect(!reported || *reported != release_version,
               "the fullpack was sent although the station already had version " +
                   Hex(release_version));
  check.ExpectMessage("the fullpack", flashed.code->fullpack, release.BlockBytes(kFullpackIndex));
}

}  // namespace

std::vector<std::uint8_t> ReleaseSegmentMessage(const FirmwareImage& release, int segment) {
  const auto block = release.BlockBytes(segment);
  std::vector<std::uint8_t> message(block.size() + 6);
  WriteWord(&message[0], release.BlockLengthWord(segment));
  WriteWord(&message[2], release.SegmentAddressWord(segment));
  WriteWord(&message[4], release.SegmentSizeWord(segment));
  WriteWord(&message[6], release.SegmentSecondWord(segment));
  std::copy(block.begin() + 2, block.end(), message.begin() + 8);
  return message;
}

FlashCheck CheckFlashedCode(const FlashedState& flashed, const StationInfo& station,
                            const FirmwareImage& release) {
  FlashCheck result;
  result.prom_written = flashed.prom_written;
  if (!flashed.prom_written || flashed.code == nullptr) {
    result.problems.emplace_back("the PROM was not written");
    return result;
  }
  const CodeSet& code = *flashed.code;
  Checker check(result.problems);
  CheckHeader(code.header, release.BlockBytes(kUpgraderHeaderIndex), station, check);
  if (code.header.size() >= kHeaderDateStampOffset + 4) {
    result.header_date_stamp = ReadLong(&code.header[kHeaderDateStampOffset]);
  }
  for (int segment = 0; segment < kReleaseSegmentCount; ++segment) {
    check.ExpectMessage("segment " + std::to_string(segment),
                        code.segments[static_cast<std::size_t>(segment)],
                        ReleaseSegmentMessage(release, segment));
  }
  result.fullpack_sent = !code.fullpack.empty();
  CheckFullpack(flashed, release, check);
  return result;
}

}  // namespace zelt20::sim
