#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "link/station_link.h"
#include "sim/station_request.h"
#include "tests/support/recording_run.h"
#include "tests/support/scripted_station.h"

namespace zelt20 {
namespace {

namespace command = sim::command;
namespace selector = sim::selector;

using test::Bytes;
using Lines = std::vector<std::string>;

const Lines kSilentAttempt = {"\r\nОшибка: ", "прием пакета не выполнен\r\n"};
const Lines kResend = {"Перепосылка...\r\n"};
const Lines kExhausted = {"Ошибка: ", "исчерпано число перезапросов\r\n"};
const Lines kSendFailed = {"\r\nОшибка: ", "отправка пакета не выполнена\r\n"};
const Lines kStopped = {"\r\nВыполнение прервано пользователем\r\n"};

Lines Concat(std::initializer_list<Lines> parts) {
  Lines all;
  for (const Lines& part : parts) all.insert(all.end(), part.begin(), part.end());
  return all;
}

class ExchangeTest : public ::testing::Test {
 protected:
  test::VirtualClock clock;
  test::ScriptedStation station{clock};
  test::RecordingRun run;
  StationLink link{station, run};
  ReplyBuffer buffer{};
  std::size_t length = 0;  // of the request payload
  int reply_length = -1;

  void SetUp() override {
    ASSERT_EQ(link.OpenPort("\\\\.\\COM1", "/dev/ttyS0"), LinkResult::kDone);
    buffer.fill(0xEE);
  }
  ExchangeResult Exchange(std::uint16_t command, std::uint16_t selector) {
    const ExchangeOutcome outcome = link.ExchangeCommand(command, selector, length, buffer);
    reply_length = outcome.reply_length;
    return outcome.result;
  }
  Lines Log() const { return run.AppendsUtf8(); }
};

TEST_F(ExchangeTest, AcknowledgementLeavesTheCallersBufferAlone) {
  station.Answer(test::StatusReply(0x0000, {1, 2, 3}));
  station.Answer(test::StatusReply(0x00FF));
  length = 17;
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kFullpackVersion), ExchangeResult::kAcknowledged);
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kFullpackVersion), ExchangeResult::kAcknowledged);
  EXPECT_EQ(reply_length, 0);
  EXPECT_EQ(buffer[0], 0xEE);
  EXPECT_TRUE(Log().empty());
}

TEST_F(ExchangeTest, ResendAfterUnknownCommandStatus) {
  station.Answer(test::StatusReply(0x2000));
  station.Answer(test::StatusReply(0x0000));
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kWriteProm), ExchangeResult::kAcknowledged);
  EXPECT_EQ(Log(), Concat({{"\r\nОшибка:", "ответ - неизвестная команда\r\n"}, kResend}));
  ASSERT_EQ(station.Requests().size(), 2u);
  EXPECT_EQ(station.Requests()[0], station.Requests()[1]);
}

TEST_F(ExchangeTest, TwoWrongHeaderStatusesExhaustTheRetries) {
  station.Answer(test::StatusReply(0x2100));
  station.Answer(test::StatusReply(0x2101));
  const Lines wrong_header = {"\r\nОшибка:", "ответ - неправильный заголовок команды\r\n"};
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kFullpackVersion), ExchangeResult::kRetriesExhausted);
  EXPECT_EQ(Log(), Concat({wrong_header, kResend, wrong_header, kExhausted}));
}

TEST_F(ExchangeTest, WrongPromTypeFailsWithoutResend) {
  station.Answer(test::StatusReply(0x2700));
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kWriteProm), ExchangeResult::kFailed);
  EXPECT_EQ(station.Requests().size(), 1u);
  EXPECT_EQ(Log(), (Lines{"\r\nОшибка:", "ответ - неправильный тип ППЗУ\r\n"}));
}

TEST_F(ExchangeTest, PromOperationStatusIsReportedAndItsDataStored) {
  station.Answer(test::StatusReply(0x2801, {0x42}));
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kWriteProm), ExchangeResult::kReplyWithData);
  EXPECT_EQ(buffer[0], 0x01);
  EXPECT_EQ(buffer[1], 0x28);
  EXPECT_EQ(buffer[2], 0x42);
  EXPECT_EQ(reply_length, 3);
  EXPECT_EQ(Log(), (Lines{"\r\nОшибка:", "ответ - операция с ППЗУ не выполнена\r\n"}));
}

TEST_F(ExchangeTest, PackedIdentifyReplyHandsBackTheRecordAndStatus) {
  // 36 distinct bytes, a run of three sevens and a count byte for one more:
  // the 40-byte payload unpacks to 41 bytes, the last being the low
  // checksum byte.
  Bytes payload(36);
  for (std::size_t i = 0; i < payload.size(); ++i) payload[i] = static_cast<std::uint8_t>(i + 10);
  payload.insert(payload.end(), {7, 7, 7, 1});
  station.Answer(test::ReplyBytes(command::kIdentify, 0x0100, payload));
  EXPECT_EQ(Exchange(command::kIdentify, selector::kMode), ExchangeResult::kReplyWithData);
  EXPECT_EQ(reply_length, 42);
  EXPECT_EQ(buffer[0], 0x00);
  EXPECT_EQ(buffer[1], 0x01);
  Bytes record(payload.begin(), payload.begin() + 39);
  record.push_back(7);
  EXPECT_EQ(Bytes(buffer.begin() + 2, buffer.begin() + 42), record);
}

TEST_F(ExchangeTest, EmptyPackedReplyStoresOnlyTheStatus) {
  station.Answer(test::ReplyBytes(command::kIdentify, 0x0100));
  EXPECT_EQ(Exchange(command::kIdentify, selector::kMode), ExchangeResult::kReplyWithData);
  EXPECT_EQ(reply_length, 1);
  EXPECT_EQ(buffer[2], 0xEE);
}

TEST_F(ExchangeTest, SilentStationLogsBothAttemptsInOrder) {
  const std::uint32_t start = clock.Now();
  EXPECT_EQ(Exchange(command::kIdentify, selector::kMode), ExchangeResult::kRetriesExhausted);
  EXPECT_EQ(Log(), Concat({kSilentAttempt, kResend, kSilentAttempt, kExhausted}));
  EXPECT_EQ(clock.Now() - start, 2u * 53000u);
}

TEST_F(ExchangeTest, EnterUpgraderModeReadsNoReply) {
  station.Answer(test::StatusReply(0x2000));
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kMode), ExchangeResult::kAcknowledged);
  EXPECT_EQ(station.ReadCount(), 0);
  EXPECT_EQ(station.CurrentTimeout(), 200u);
}

TEST_F(ExchangeTest, StopAlreadyRequestedLetsNoRequestOut) {
  run.Flags().stop_requested = true;
  for (const std::uint16_t word : {selector::kMode, selector::kWriteProm}) {
    EXPECT_EQ(Exchange(command::kUpgrade, word), ExchangeResult::kStopped);
  }
  EXPECT_TRUE(station.Requests().empty());
  EXPECT_EQ(station.ReadCount(), 0);
  EXPECT_EQ(Log(), Concat({kStopped, kStopped}));
}

TEST_F(ExchangeTest, StopDuringAFailedSendHoldsBackTheResend) {
  station.FailWrites(1);
  run.OnAppend([&](const std::string&) { run.Flags().stop_requested = true; });
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kWriteProm), ExchangeResult::kStopped);
  EXPECT_EQ(Log(), Concat({kSendFailed, kResend, kStopped}));
  EXPECT_TRUE(station.Requests().empty());
}

TEST_F(ExchangeTest, TwoFailedSendsExhaustTheRetriesWithoutReading) {
  station.FailWrites(2);
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kWriteProm), ExchangeResult::kRetriesExhausted);
  EXPECT_EQ(Log(), Concat({kSendFailed, kResend, kSendFailed, kExhausted}));
  EXPECT_EQ(station.ReadCount(), 0);
}

TEST_F(ExchangeTest, StopSeenAfterTheResendGoesOut) {
  station.OnWrite([&](const Bytes&) {
    if (station.Requests().size() == 2) run.Flags().stop_requested = true;
  });
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kFullpackVersion), ExchangeResult::kStopped);
  EXPECT_EQ(Log(), Concat({kSilentAttempt, kResend, kStopped}));
}

TEST_F(ExchangeTest, TimeoutFollowsTheSelector) {
  station.SetDefaultAnswer([](const Bytes&) { return test::StatusReply(0x0000); });
  ASSERT_EQ(link.SetReadTimeouts(150), LinkResult::kDone);
  Exchange(command::kUpgrade, selector::kLoadSegment);
  EXPECT_EQ(station.CurrentTimeout(), 150u);
  Exchange(command::kUpgrade, selector::kLoadHeader);
  EXPECT_EQ(station.CurrentTimeout(), 75u);
  Exchange(command::kUpgrade, selector::kLoadSegment);
  EXPECT_EQ(station.CurrentTimeout(), 75u);
  Exchange(command::kUpgrade, selector::kWriteProm);
  EXPECT_EQ(station.CurrentTimeout(), 500u);
  Exchange(command::kIdentify, selector::kMode);
  EXPECT_EQ(station.CurrentTimeout(), 200u);
}

TEST_F(ExchangeTest, RefusedTimeoutsCloseThePortAndSendNothing) {
  station.FailTimeoutsAfter(0);
  EXPECT_EQ(Exchange(command::kUpgrade, selector::kFullpackVersion), ExchangeResult::kFailed);
  EXPECT_TRUE(station.Requests().empty());
  EXPECT_FALSE(station.IsOpen());
  EXPECT_EQ(Log(), (Lines{"\r\nОшибка: ", "невозможно открыть порт!\r\n"}));
  link.ClosePort();
  EXPECT_EQ(station.CloseCount(), 1);
}

}  // namespace
}  // namespace zelt20
