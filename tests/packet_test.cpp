#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "core/byte_order.h"
#include "link/packet.h"
#include "tests/support/recording_run.h"
#include "tests/support/scripted_station.h"

namespace zelt20 {
namespace {

using test::Bytes;

std::uint16_t Checksum(const std::string& text) {
  return ComputeChecksum(reinterpret_cast<const std::uint8_t*>(text.data()), text.size(), 0);
}

TEST(Checksum, MatchesTheStationsCheckValues) {
  EXPECT_EQ(Checksum("123456789"), 0xA10C);
  EXPECT_EQ(Checksum("abc"), 0x776D);
  EXPECT_EQ(Checksum(std::string(1, '\x01')), 0x1021);
  EXPECT_EQ(Checksum(std::string(1, '\x10')), 0x0210);
  EXPECT_EQ(Checksum(""), 0);
}

TEST(RequestFrame, GoesOnTheLineAsTheStationExpects) {
  EXPECT_EQ(test::RequestBytes(0xF004, 0xFFFF), (Bytes{0x04, 0xF0, 0xFF, 0xFF, 0x00, 0x00, 0x9D, 0xC8}));
  EXPECT_EQ(test::RequestBytes(0xF000, 0xFFFF),
            (Bytes{0x00, 0xF0, 0xFF, 0xFF, 0x01, 0x00, 0x00, 0xCF, 0x28}));
  EXPECT_EQ(test::RequestBytes(0xF000, 2), (Bytes{0x00, 0xF0, 0x02, 0x00, 0x06, 0x00, 0x46, 0x5C}));
  EXPECT_EQ(test::RequestBytes(0xF000, 6), (Bytes{0x00, 0xF0, 0x06, 0x00, 0x06, 0x00, 0xF7, 0x52}));
}

TEST(RequestFrame, LengthRuleOverridesTheCallersPayload) {
  const Bytes payload = {1, 2, 3};
  EXPECT_EQ(test::RequestBytes(0xF004, 0xFFFF, payload), test::RequestBytes(0xF004, 0xFFFF));
  const Bytes mode = test::RequestBytes(0xF000, 0xFFFF, payload);
  EXPECT_EQ(mode.size(), 9u);
  EXPECT_EQ(mode[4], 1);
  EXPECT_EQ(mode[6], 0x00);
  const Bytes full = test::RequestBytes(0xF000, 5, Bytes(256, 0xAB));
  ASSERT_EQ(full.size(), 264u);
  EXPECT_EQ(ReadWord(&full[4]), 262);
  EXPECT_EQ(ReadWord(&full[262]), ComputeChecksum(full.data(), 262, 0));
}

struct Decoded {
  ReplyCheck check;
  Reply reply;
  DataArea data;
};

Decoded Decode(const Bytes& bytes) {
  Decoded out{};
  Frame frame{};
  std::memcpy(frame.data(), bytes.data(), std::min(bytes.size(), frame.size()));
  out.check = DecodeReply(frame, bytes.size(), out.reply, out.data);
  return out;
}

// A frame with a given length word and a correct checksum over n bytes.
Bytes RawReply(std::uint16_t status, std::uint16_t length_word, std::size_t n) {
  Bytes bytes(6 + n + 2, 0x5A);
  WriteWord(&bytes[0], 0xF000);
  WriteWord(&bytes[2], status);
  WriteWord(&bytes[4], length_word);
  WriteWord(&bytes[6 + n], ComputeChecksum(bytes.data(), 6 + n, 0));
  return bytes;
}

TEST(ReplyFrame, LengthChecks) {
  EXPECT_EQ(Decode(RawReply(0x0000, 6, 0)).check, ReplyCheck::kAccepted);
  EXPECT_EQ(Decode(RawReply(0xFFFF, 4, 4)).check, ReplyCheck::kAccepted);
  EXPECT_EQ(Decode(RawReply(0x0100, 4, 0)).check, ReplyCheck::kReceptionFailed);
  EXPECT_EQ(Decode(RawReply(0x0100, 5, 0)).check, ReplyCheck::kReceptionFailed);
  EXPECT_EQ(Decode(RawReply(0x0100, 262, 256)).check, ReplyCheck::kAccepted);
  EXPECT_EQ(Decode(RawReply(0x0100, 263, 257)).check, ReplyCheck::kReceptionFailed);
  Bytes cut = RawReply(0x0100, 16, 10);
  cut.resize(12);
  EXPECT_EQ(Decode(cut).check, ReplyCheck::kReceptionFailed);
  Bytes doubled = RawReply(0x0100, 8, 2);
  doubled.insert(doubled.end(), doubled.begin(), doubled.end());
  EXPECT_EQ(Decode(doubled).check, ReplyCheck::kReceptionFailed);
  EXPECT_EQ(Decode(Bytes(7, 0)).check, ReplyCheck::kReceptionFailed);
  Bytes corrupted = RawReply(0x0100, 10, 4);
  corrupted[7] ^= 0x01;
  EXPECT_EQ(Decode(corrupted).check, ReplyCheck::kBadChecksum);
}

TEST(ReplyFrame, PlainPayloadIsCopied) {
  const Decoded d = Decode(test::StatusReply(0x0100, {0xA0, 0x00}));
  ASSERT_EQ(d.check, ReplyCheck::kAccepted);
  EXPECT_EQ(d.reply.status, 0x0100);
  EXPECT_EQ(d.reply.data_length, 2);
  EXPECT_EQ(d.data[0], 0xA0);
}

struct UnpackRow {
  Bytes payload;
  Bytes emitted;  // a 0xEE stands for the low checksum byte
  int data_length;
};

class Unpacking : public ::testing::TestWithParam<UnpackRow> {};

TEST_P(Unpacking, EmitsAsTheStationPacks) {
  const UnpackRow& row = GetParam();
  const Decoded d = Decode(test::ReplyBytes(0xF004, 0x0100, row.payload));
  ASSERT_EQ(d.check, ReplyCheck::kAccepted);
  EXPECT_EQ(d.reply.data_length, row.data_length);
  const Bytes frame = test::ReplyBytes(0xF004, 0x0100, row.payload);
  Bytes expected = row.emitted;
  for (auto& byte : expected) {
    if (byte == 0xEE) byte = frame[6 + row.payload.size()];
  }
  EXPECT_EQ(Bytes(d.data.begin(), d.data.begin() + static_cast<long>(expected.size())), expected);
}

Bytes Repeat(std::uint8_t byte, std::size_t count) { return Bytes(count, byte); }
Bytes Join(Bytes a, const Bytes& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

INSTANTIATE_TEST_SUITE_P(
    WorkedExamples, Unpacking,
    ::testing::Values(UnpackRow{{0x41, 0x42, 0x43}, {0x41, 0x42, 0x43}, 2},
                      UnpackRow{{7, 7, 7, 5, 9}, Join(Repeat(7, 8), {9}), 8},
                      UnpackRow{{0, 0, 0, 0, 1}, {0, 0, 0, 0, 1}, 4},
                      UnpackRow{{5, 5, 5, 2}, Join(Repeat(5, 5), {0xEE}), 5},
                      UnpackRow{{5, 5, 5, 0x80, 9}, {5, 5, 5, 9}, 3},
                      UnpackRow{{9, 9, 9, 0x7F, 9, 9, 3, 1}, Join(Repeat(9, 135), {1}), 135},
                      UnpackRow{{}, {}, -1}));

TEST(Unpacking, RefusesOutputBeyondTheDataArea) {
  // 130 bytes of ones, 3 + 122 twos and the trailing checksum byte: 256.
  const Bytes exact = {1, 1, 1, 0x7F, 2, 2, 2, 0x7A};
  const Bytes one_more = {1, 1, 1, 0x7F, 2, 2, 2, 0x7B};
  EXPECT_EQ(Decode(test::ReplyBytes(0xF004, 0x0100, one_more)).check, ReplyCheck::kReceptionFailed);
  const Decoded d = Decode(test::ReplyBytes(0xF004, 0x0100, exact));
  EXPECT_EQ(d.check, ReplyCheck::kAccepted);
  EXPECT_EQ(d.reply.data_length, 255);
  Bytes bomb;
  for (int i = 0; i < 64; ++i) bomb = Join(bomb, {3, 3, 3, 0x7F});
  EXPECT_EQ(Decode(test::ReplyBytes(0xF004, 0x0100, bomb)).check, ReplyCheck::kReceptionFailed);
}

class PacketLinkTest : public ::testing::Test {
 protected:
  test::VirtualClock clock;
  test::ScriptedStation station{clock};
  test::RecordingRun run;
  MessageLog log{run};
  StationPort port{station, log};
  PacketLink packets{port, log};

  void SetUp() override { ASSERT_EQ(port.OpenPort("\\\\.\\COM1", "/dev/ttyS0"), LinkResult::kDone); }
  std::vector<std::string> Lines() const { return run.AppendsUtf8(); }
};

TEST_F(PacketLinkTest, ReportsEachReceptionFailureWithItsLines) {
  Reply reply;
  DataArea data{};
  station.Inject(Bytes(5, 0));
  EXPECT_EQ(packets.ReceivePacket(reply, data), LinkResult::kFailed);
  Bytes corrupted = test::StatusReply(0x0100, {1, 2});
  corrupted.back() ^= 0xFF;
  station.Inject(corrupted);
  EXPECT_EQ(packets.ReceivePacket(reply, data), LinkResult::kFailed);
  const std::vector<std::string> expected = {"\r\nОшибка: ", "прием пакета не выполнен\r\n",
                                             "\r\nОшибка: ", "принят пакет с неправильной CRC\r\n"};
  EXPECT_EQ(Lines(), expected);
  EXPECT_TRUE(station.IsOpen());
}

TEST_F(PacketLinkTest, ASilentLineCostsTheWholeTotalTimeout) {
  Reply reply;
  DataArea data{};
  ASSERT_EQ(port.SetReadTimeouts(75), LinkResult::kDone);
  const std::uint32_t start = clock.Now();
  EXPECT_EQ(packets.ReceivePacket(reply, data), LinkResult::kFailed);
  EXPECT_EQ(clock.Now() - start, 19875u);
}

TEST_F(PacketLinkTest, AFailedWriteIsReportedAndThePortStaysOpen) {
  station.FailWrites(1);
  EXPECT_EQ(packets.SendPacket(0xF000, 2, 0, nullptr), LinkResult::kFailed);
  const std::vector<std::string> expected = {"\r\nОшибка: ", "отправка пакета не выполнена\r\n"};
  EXPECT_EQ(Lines(), expected);
  EXPECT_TRUE(station.IsOpen());
}

}  // namespace
}  // namespace zelt20
