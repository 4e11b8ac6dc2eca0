// The simulator's run-length packer against the installer's own decoder:
// whatever the station packs must come back as the record, with the
// decoder's quirks (one byte more than reported, counts after three equal
// bytes, zero counts taken as data, a trailing count emitting the checksum).
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "install/station_info.h"
#include "link/packet.h"
#include "sim/run_length_packer.h"
#include "sim/station_model.h"
#include "sim/station_reply.h"
#include "sim/station_request.h"

namespace zelt20::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Packs `data`, sends it as an identify reply frame and decodes it as the
// installer does; the decoded data must be `data` exactly.
void ExpectRoundTrip(const Bytes& data) {
  const Bytes packed = PackRunLength(data);
  ASSERT_LE(packed.size(), kMaxPayload);
  Frame frame{};
  const std::size_t m = FrameReply(command::kIdentify, 0x0100, packed.size(), packed.data(), frame);
  Reply reply;
  DataArea decoded{};
  ASSERT_EQ(DecodeReply(frame, m, reply, decoded), ReplyCheck::kAccepted);
  ASSERT_EQ(reply.data_length, static_cast<int>(data.size()));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), decoded.begin()));

  // The byte behind the payload never takes part: the last payload byte is
  // never a count.
  DataArea other{};
  EXPECT_EQ(UnpackRunLength(packed.data(), packed.size(), 0x5A, other),
            UnpackRunLength(packed.data(), packed.size(), 0xA5, decoded));
  EXPECT_EQ(other, decoded);
}

Bytes Filled(std::size_t size, std::uint8_t byte) { return Bytes(size, byte); }

TEST(RunLengthPacker, UniformRecordsCompressAndComeBack) {
  for (const std::uint8_t byte : Bytes{0x00, 0xFF, 0x80, 0x7F, 0x01}) {
    SCOPED_TRACE(static_cast<int>(byte));
    ExpectRoundTrip(Filled(StationInfo::kSize, byte));
    EXPECT_LT(PackRunLength(Filled(StationInfo::kSize, byte)).size(), 8u);
  }
}

TEST(RunLengthPacker, RunsOfEveryLengthAtEveryPlace) {
  for (std::size_t length = 1; length <= 12; ++length) {
    for (std::size_t start = 0; start + length <= StationInfo::kSize; ++start) {
      Bytes record(StationInfo::kSize);
      for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(i + 1);
      std::fill_n(record.begin() + static_cast<std::ptrdiff_t>(start), length, std::uint8_t{0});
      SCOPED_TRACE(testing::Message() << "zero run " << length << " at " << start);
      ExpectRoundTrip(record);
    }
  }
}

// Where a count byte is due and the run has ended, a zero data byte and a
// zero count look alike to the decoder.
TEST(RunLengthPacker, ZerosRightAfterARunOfAnotherByte) {
  ExpectRoundTrip({5, 5, 5, 0, 0, 1});
  ExpectRoundTrip({5, 5, 5, 0});
  ExpectRoundTrip({5, 5, 5, 0, 0, 0, 0});
  ExpectRoundTrip({0xFF, 0xFF, 0xFF, 0xFF, 0, 0, 0});
  ExpectRoundTrip({5, 5, 5});
  ExpectRoundTrip({});
}

// Counts go up to 127; a longer run continues with data bytes that already
// compare equal to the run byte.
TEST(RunLengthPacker, RunsLongerThanOneCount) {
  ExpectRoundTrip(Filled(130, 0x00));
  ExpectRoundTrip(Filled(131, 0xFF));
  ExpectRoundTrip(Filled(200, 0x09));
  Bytes mixed = Filled(128, 0x80);
  mixed.push_back(0x00);
  mixed.push_back(0x80);
  ExpectRoundTrip(mixed);
}

TEST(RunLengthPacker, ManyRecordsFromFewByteValues) {
  std::mt19937 random(20170421);
  const std::uint8_t alphabet[] = {0x00, 0x00, 0xFF, 0xFF, 0x07, 0x80};
  std::uniform_int_distribution<std::size_t> pick(0, std::size(alphabet) - 1);
  for (int round = 0; round < 3000; ++round) {
    Bytes record(StationInfo::kSize);
    for (auto& byte : record) byte = alphabet[pick(random)];
    ExpectRoundTrip(record);
    if (testing::Test::HasFailure()) {
      ADD_FAILURE() << "round " << round;
      return;
    }
  }
}

TEST(RunLengthPacker, StationRecordsComeBack) {
  StationInfo info = StationSetup::DefaultStationInfo();
  info.reserved_1 = 1;
  const auto record = RecordBytes(info);
  ExpectRoundTrip({record.begin(), record.end()});

  StationInfo blank{};
  blank.version = {0xFF, 0xFF, 0xFFFF};
  blank.hardware_version_1 = 0xFFFFFFFF;
  blank.hardware_version_2 = 0xFFFFFFFF;
  const auto blank_record = RecordBytes(blank);
  ExpectRoundTrip({blank_record.begin(), blank_record.end()});
}

}  // namespace
}  // namespace zelt20::sim
#endif
