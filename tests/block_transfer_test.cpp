#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/byte_order.h"
#include "install/block_transfer.h"
#include "sim/station_request.h"
#include "tests/support/recording_run.h"
#include "tests/support/release_text.h"
#include "tests/support/scripted_station.h"

namespace zelt20 {
namespace {

namespace command = sim::command;
namespace selector = sim::selector;

using test::Bytes;
using Lines = std::vector<std::string>;

class BlockTransferTest : public ::testing::Test {
 protected:
  // The last code segment, several chunks long in every release built in.
  static constexpr int kSegment = kSegmentCount - 1;

  test::VirtualClock clock;
  test::ScriptedStation station{clock};
  test::RecordingRun run;
  StationLink link{station, run};
  FirmwareImage image;
  TransferCounters counters;
  BlockTransfer transfer{link, run, image, counters};

  void SetUp() override {
    ASSERT_EQ(link.OpenPort("\\\\.\\COM1", "/dev/ttyS0"), LinkResult::kDone);
    counters.AddToTotal(test::CodeSegmentsTotal());
    ASSERT_GE(Chunks(kSegment), 3u) << "the tests need a middle chunk";
  }

  std::size_t Length(int block) const {
    return static_cast<std::size_t>(image.BlockMessageLength(block));
  }
  std::size_t Chunks(int block) const { return (Length(block) + 255) / 256; }
  // Whole 256-byte chunks, then the rest.
  std::vector<std::size_t> ChunksOf(int block) const {
    std::vector<std::size_t> sizes(Chunks(block), 256);
    sizes.back() = Length(block) - 256 * (sizes.size() - 1);
    return sizes;
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
  ASSERT_EQ(Chunks(kUpgraderHeaderIndex), 1u);
  AnswerBlock(1, 0x0300);
  EXPECT_EQ(transfer.SendBlock(kUpgraderHeaderIndex), BlockResult::kConfirmed);
  EXPECT_EQ(ChunkSizes(), ChunksOf(kUpgraderHeaderIndex));
  EXPECT_EQ(ReadWord(&station.Requests()[0][2]), selector::kLoadHeader);
  // 150 at the start, 75 before the last chunk, 75 again by the exchange.
  EXPECT_EQ(station.TimeoutHistory(), (std::vector<std::uint32_t>{150, 150, 75, 75}));
  EXPECT_EQ(Log(), (Lines{"Заголовок апгрейтора загружен\r\n"}));
}

TEST_F(BlockTransferTest, SegmentMessageCarriesItsWordsAndGoesIn256ByteChunks) {
  AnswerBlock(Chunks(kSegment), 0x0500);
  EXPECT_EQ(transfer.SendBlock(kSegment), BlockResult::kConfirmed);
  EXPECT_EQ(ChunkSizes(), ChunksOf(kSegment));
  const Bytes message = SentMessage();
  ASSERT_EQ(message.size(), Length(kSegment));
  EXPECT_EQ(ReadWord(&message[0]), image.BlockLengthWord(kSegment));
  EXPECT_EQ(ReadWord(&message[2]), image.SegmentAddressWord(kSegment));
  EXPECT_EQ(ReadWord(&message[4]), image.SegmentSizeWord(kSegment));
  EXPECT_EQ(ReadWord(&message[6]), image.SegmentSecondWord(kSegment));
  const auto block = image.BlockBytes(kSegment);
  EXPECT_EQ(Bytes(message.begin() + 8, message.end()), Bytes(block.begin() + 2, block.end()));
  // Segment chunks run under the 150 ms the block set, the last under 75.
  EXPECT_EQ(station.TimeoutHistory(), (std::vector<std::uint32_t>{150, 150, 75}));
  EXPECT_EQ(Log(), (Lines{test::SegmentLoadedLine(kSegment)}));
}

TEST_F(BlockTransferTest, FullpackGoesInFullChunksAndTheRest) {
  AnswerBlock(Chunks(kFullpackIndex), 0x0500);
  EXPECT_EQ(transfer.SendBlock(kFullpackIndex), BlockResult::kConfirmed);
  EXPECT_EQ(ChunkSizes(), ChunksOf(kFullpackIndex));
  EXPECT_EQ(Log(), (Lines{"Fullpack загружен\r\n"}));
}

TEST_F(BlockTransferTest, SuccessLineOfSegmentZeroNamesItsAddress) {
  AnswerBlock(Chunks(0), 0x0501);
  EXPECT_EQ(transfer.SendBlock(0), BlockResult::kConfirmed);
  EXPECT_EQ(Log(), (Lines{test::SegmentLoadedLine(0)}));
}

TEST_F(BlockTransferTest, StatusCodesAreNotTiedToTheBlockKind) {
  AnswerBlock(Chunks(kSegment), 0x0300);
  EXPECT_EQ(transfer.SendBlock(kSegment), BlockResult::kConfirmed);
  AnswerBlock(1, 0x0500);
  EXPECT_EQ(transfer.SendBlock(kUpgraderHeaderIndex), BlockResult::kConfirmed);
  // A header "address" is its checksum length word, where a segment has its address.
  const auto header = image.BlockBytes(kUpgraderHeaderIndex);
  EXPECT_EQ(Log(), (Lines{"Заголовок апгрейтора загружен\r\n",
                          "Сегмент загружен: адрес " + test::HexText(ReadWord(&header[2])) + "\r\n"}));
}

TEST_F(BlockTransferTest, ProgressMovesAfterEveryChunk) {
  AnswerBlock(Chunks(kSegment), 0x0500);
  ASSERT_EQ(transfer.SendBlock(kSegment), BlockResult::kConfirmed);
  EXPECT_EQ(counters.bytes_sent, static_cast<std::int32_t>(Length(kSegment)));
  std::vector<std::int32_t> expected;
  std::size_t sent = 0;
  for (const std::size_t chunk : ChunksOf(kSegment)) {
    sent += chunk;
    expected.push_back(static_cast<std::int32_t>(static_cast<double>(sent) *
                                                 static_cast<double>(counters.percent_scale)));
  }
  EXPECT_EQ(run.Progress(), expected);
}

TEST_F(BlockTransferTest, StatusOnAMiddleChunkEndsTheAttemptSilently) {
  station.Answer(test::StatusReply(0x0000));
  station.Answer(test::StatusReply(0x2400));
  AnswerBlock(Chunks(kSegment), 0x0500);
  EXPECT_EQ(transfer.SendBlock(kSegment), BlockResult::kConfirmed);
  std::vector<std::size_t> expected = {256, 256};
  for (const std::size_t chunk : ChunksOf(kSegment)) expected.push_back(chunk);
  EXPECT_EQ(ChunkSizes(), expected);
  EXPECT_EQ(Log(), (Lines{"Перепосылка всего сегмента\r\n", test::SegmentLoadedLine(kSegment)}));
  // Both chunks of the failed attempt stay counted.
  EXPECT_EQ(counters.bytes_sent, static_cast<std::int32_t>(512 + Length(kSegment)));
}

TEST_F(BlockTransferTest, TwoBadSegmentChecksumsExhaustTheBlock) {
  AnswerBlock(Chunks(kSegment), 0x2600);
  AnswerBlock(Chunks(kSegment), 0x2600);
  EXPECT_EQ(transfer.SendBlock(kSegment), BlockResult::kFailed);
  const Lines bad_crc = {"\r\nОшибка:", "ответ - неправильная CRC сегмента\r\n"};
  Lines expected = bad_crc;
  expected.push_back("Перепосылка всего сегмента\r\n");
  expected.insert(expected.end(), bad_crc.begin(), bad_crc.end());
  expected.insert(expected.end(), {"Ошибка: ", "исчерпано число перезапросов\r\n"});
  EXPECT_EQ(Log(), expected);
  EXPECT_EQ(counters.bytes_sent, static_cast<std::int32_t>(2 * Length(kSegment)));
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
  const auto header = static_cast<std::int32_t>(Length(kUpgraderHeaderIndex));
  EXPECT_EQ(run.Progress(), (std::vector<std::int32_t>{header, 2 * header}));
}

TEST_F(BlockTransferTest, StopDuringTheSecondAttemptKeepsWhatWasCounted) {
  AnswerBlock(Chunks(kSegment), 0x2500);
  station.Answer(test::StatusReply(0x0000));
  station.OnWrite([&](const Bytes&) {
    if (station.Requests().size() == Chunks(kSegment) + 2) run.Flags().stop_requested = true;
  });
  EXPECT_EQ(transfer.SendBlock(kSegment), BlockResult::kStopped);
  EXPECT_EQ(counters.bytes_sent, static_cast<std::int32_t>(Length(kSegment) + 256));
  EXPECT_EQ(Log().back(), "\r\nВыполнение прервано пользователем\r\n");
}

TEST_F(BlockTransferTest, ExchangeFailureEndsTheBlock) {
  EXPECT_EQ(transfer.SendBlock(kUpgraderHeaderIndex), BlockResult::kFailed);
  EXPECT_EQ(Log().back(), "исчерпано число перезапросов\r\n");
  EXPECT_EQ(counters.bytes_sent, 0);
}

}  // namespace
}  // namespace zelt20
