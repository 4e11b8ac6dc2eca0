#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/byte_order.h"
#include "install/block_transfer.h"
#include "tests/support/recording_run.h"
#include "tests/support/scripted_station.h"

namespace zelt20 {
namespace {

using test::Bytes;
using Lines = std::vector<std::string>;

class BlockTransferTest : public ::testing::Test {
 protected:
  test::VirtualClock clock;
  test::ScriptedStation station{clock};
  test::RecordingRun run;
  StationLink link{station, run};
  FirmwareImage image;
  TransferCounters counters;
  BlockTransfer transfer{link, run, image, counters};

  void SetUp() override {
    ASSERT_EQ(link.port.OpenPort("\\\\.\\COM1"), LinkResult::kDone);
    counters.AddToTotal(206266);
  }

  // The station acknowledges every chunk but the last, which gets `last`.
  void AnswerBlock(std::size_t chunks, std::uint16_t last) {
    for (std::size_t i = 1; i < chunks; ++i) station.Answer(test::StatusReply(0x0000));
    station.Answer(test::StatusReply(last));
  }
  std::vector<std::size_t> ChunkSizes() const {
    std::vector<std::size_t> sizes;
    for (const Bytes& request : station.Requests()) sizes.push_back(request.size() - 8);
    return sizes;
  }
  // The block message as it went out, chunk payloads joined.
  Bytes SentMessage() const {
    Bytes message;
    for (const Bytes& request : station.Requests()) {
      message.insert(message.end(), request.begin() + 6, request.end() - 2);
    }
    return message;
  }
  Lines Log() const { return run.AppendsUtf8(); }
};

TEST_F(BlockTransferTest, HeaderGoesInOneChunkUnderTheShortTimeout) {
  AnswerBlock(1, 0x0300);
  EXPECT_EQ(transfer.SendBlock(kUpgraderHeaderIndex), BlockResult::kConfirmed);
  EXPECT_EQ(ChunkSizes(), (std::vector<std::size_t>{164}));
  EXPECT_EQ(ReadWord(&station.Requests()[0][2]), kLoadHeaderSelector);
  // 150 at the start, 75 before the last chunk, 75 again by the exchange.
  EXPECT_EQ(station.TimeoutHistory(), (std::vector<std::uint32_t>{150, 150, 75, 75}));
  EXPECT_EQ(Log(), (Lines{"Заголовок апгрейтора загружен\r\n"}));
}

TEST_F(BlockTransferTest, SegmentMessageCarriesItsWordsAndGoesIn256ByteChunks) {
  AnswerBlock(4, 0x0500);
  EXPECT_EQ(transfer.SendBlock(26), BlockResult::kConfirmed);
  EXPECT_EQ(ChunkSizes(), (std::vector<std::size_t>{256, 256, 256, 10}));
  const Bytes message = SentMessage();
  ASSERT_EQ(message.size(), 778u);
  EXPECT_EQ(ReadWord(&message[0]), 770);
  EXPECT_EQ(ReadWord(&message[2]), 0xE800);
  EXPECT_EQ(ReadWord(&message[4]), 0x0500);
  EXPECT_EQ(ReadWord(&message[6]), image.SegmentSecondWord(26));
  const auto block = image.BlockBytes(26);
  EXPECT_EQ(Bytes(message.begin() + 8, message.end()), Bytes(block.begin() + 2, block.end()));
  // Segment chunks run under the 150 ms the block set, the last under 75.
  EXPECT_EQ(station.TimeoutHistory(), (std::vector<std::uint32_t>{150, 150, 75}));
  EXPECT_EQ(Log(), (Lines{"Сегмент загружен: адрес E800\r\n"}));
}

TEST_F(BlockTransferTest, FullpackGoesAs125FullChunksAndOneOf215) {
  AnswerBlock(126, 0x0500);
  EXPECT_EQ(transfer.SendBlock(kFullpackIndex), BlockResult::kConfirmed);
  std::vector<std::size_t> expected(125, 256);
  expected.push_back(215);
  EXPECT_EQ(ChunkSizes(), expected);
  EXPECT_EQ(Log(), (Lines{"Fullpack загружен\r\n"}));
}

TEST_F(BlockTransferTest, SuccessLineOfSegmentZeroEndsIn8000) {
  AnswerBlock(static_cast<std::size_t>((image.BlockMessageLength(0) + 255) / 256), 0x0501);
  EXPECT_EQ(transfer.SendBlock(0), BlockResult::kConfirmed);
  EXPECT_EQ(Log(), (Lines{"Сегмент загружен: адрес 8000\r\n"}));
}

TEST_F(BlockTransferTest, StatusCodesAreNotTiedToTheBlockKind) {
  AnswerBlock(4, 0x0300);
  EXPECT_EQ(transfer.SendBlock(26), BlockResult::kConfirmed);
  AnswerBlock(1, 0x0500);
  EXPECT_EQ(transfer.SendBlock(kUpgraderHeaderIndex), BlockResult::kConfirmed);
  EXPECT_EQ(Log(), (Lines{"Заголовок апгрейтора загружен\r\n", "Сегмент загружен: адрес A0\r\n"}));
}

TEST_F(BlockTransferTest, ProgressMovesAfterEveryChunk) {
  AnswerBlock(4, 0x0500);
  ASSERT_EQ(transfer.SendBlock(26), BlockResult::kConfirmed);
  EXPECT_EQ(counters.bytes_sent, 778);
  const std::vector<std::int32_t> expected = {
      static_cast<std::int32_t>(256 * static_cast<double>(counters.percent_scale)),
      static_cast<std::int32_t>(512 * static_cast<double>(counters.percent_scale)),
      static_cast<std::int32_t>(768 * static_cast<double>(counters.percent_scale)),
      static_cast<std::int32_t>(778 * static_cast<double>(counters.percent_scale))};
  EXPECT_EQ(run.Progress(), expected);
}

TEST_F(BlockTransferTest, StatusOnAMiddleChunkEndsTheAttemptSilently) {
  station.Answer(test::StatusReply(0x0000));
  station.Answer(test::StatusReply(0x2400));
  AnswerBlock(4, 0x0500);
  EXPECT_EQ(transfer.SendBlock(26), BlockResult::kConfirmed);
  EXPECT_EQ(ChunkSizes(), (std::vector<std::size_t>{256, 256, 256, 256, 256, 10}));
  EXPECT_EQ(Log(), (Lines{"Перепосылка всего сегмента\r\n", "Сегмент загружен: адрес E800\r\n"}));
  // Both chunks of the failed attempt stay counted.
  EXPECT_EQ(counters.bytes_sent, 512 + 778);
}

TEST_F(BlockTransferTest, TwoBadSegmentChecksumsExhaustTheBlock) {
  AnswerBlock(4, 0x2600);
  AnswerBlock(4, 0x2600);
  EXPECT_EQ(transfer.SendBlock(26), BlockResult::kFailed);
  const Lines bad_crc = {"\r\nОшибка:", "ответ - неправильная CRC сегмента\r\n"};
  Lines expected = bad_crc;
  expected.push_back("Перепосылка всего сегмента\r\n");
  expected.insert(expected.end(), bad_crc.begin(), bad_crc.end());
  expected.insert(expected.end(), {"Ошибка: ", "исчерпано число перезапросов\r\n"});
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(counters.bytes_sent, 2 * 778);
  // Nothing sets 150 ms again: the second attempt runs at 75.
  EXPECT_EQ(station.TimeoutHistory(), (std::vector<std::uint32_t>{150, 150, 75, 75}));
}

TEST_F(BlockTransferTest, BareAcknowledgementOfTheLastChunkAsksForAResend) {
  AnswerBlock(1, 0x0000);
  AnswerBlock(1, 0x0300);
  EXPECT_EQ(transfer.SendBlock(kUpgraderHeaderIndex), BlockResult::kConfirmed);
  EXPECT_EQ(Log(), (Lines{"Перепосылка всего сегмента\r\n", "Заголовок апгрейтора загружен\r\n"}));
}

TEST_F(BlockTransferTest, UnknownFinalStatusFailsAtOnce) {
  AnswerBlock(1, 0x2800);
  EXPECT_EQ(transfer.SendBlock(kUpgraderHeaderIndex), BlockResult::kFailed);
  EXPECT_EQ(Log(), (Lines{"\r\nОшибка:", "ответ - операция с ППЗУ не выполнена\r\n", "\r\nОшибка:",
                          "принято неправильное поле команды\r\n"}));
}

TEST_F(BlockTransferTest, ProgressIsNotClampedAfterResends) {
  TransferCounters small;
  small.AddToTotal(100);  // a scale of exactly 1: positions are the bytes sent
  BlockTransfer header_only{link, run, image, small};
  AnswerBlock(1, 0x2400);
  AnswerBlock(1, 0x0300);
  EXPECT_EQ(header_only.SendBlock(kUpgraderHeaderIndex), BlockResult::kConfirmed);
  EXPECT_EQ(run.Progress(), (std::vector<std::int32_t>{164, 328}));
}

TEST_F(BlockTransferTest, StopDuringTheSecondAttemptKeepsWhatWasCounted) {
  AnswerBlock(4, 0x2500);
  station.Answer(test::StatusReply(0x0000));
  station.OnWrite([&](const Bytes&) {
    if (station.Requests().size() == 6) run.Flags().stop_requested = true;
  });
  EXPECT_EQ(transfer.SendBlock(26), BlockResult::kStopped);
  EXPECT_EQ(counters.bytes_sent, 778 + 256);
  EXPECT_EQ(Log().back(), "\r\nВыполнение прервано пользователем\r\n");
}

TEST_F(BlockTransferTest, ExchangeFailureEndsTheBlock) {
  EXPECT_EQ(transfer.SendBlock(kUpgraderHeaderIndex), BlockResult::kFailed);
  EXPECT_EQ(Log().back(), "исчерпано число перезапросов\r\n");
  EXPECT_EQ(counters.bytes_sent, 0);
}

}  // namespace
}  // namespace zelt20
