// The simulated station's answers, driven by request frames as the
// installer builds them: identification, modes, the block transfer's
// receiving end, the PROM write, malformed input, faults, and the framing
// of the byte stream. No line and no real time.
#if !defined(_WIN32)
#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <vector>

#include "core/byte_order.h"
#include "install/firmware_image.h"
#include "link/exchange.h"
#include "link/packet.h"
#include "sim/faults.h"
#include "sim/flash_check.h"
#include "sim/request_framer.h"
#include "sim/station_model.h"
#include "sim/station_reply.h"
#include "sim/station_request.h"
#include "tests/support/release_text.h"
#include "tests/support/scripted_station.h"

namespace zelt20::sim {
namespace {

using test::Bytes;
using test::RequestBytes;
using std::chrono::milliseconds;

struct Decoded {
  ReplyCheck check = ReplyCheck::kReceptionFailed;
  Reply reply;
  DataArea data{};
};

Decoded Decode(const Bytes& bytes) {
  Decoded decoded;
  Frame frame{};
  const std::size_t m = std::min(bytes.size(), frame.size());
  std::copy_n(bytes.begin(), m, frame.begin());
  decoded.check = DecodeReply(frame, m, decoded.reply, decoded.data);
  return decoded;
}

// The status of an intact plain reply; 0xDEAD when the reply is not one.
std::uint16_t StatusOf(const StationAnswer& answer) {
  const Decoded decoded = Decode(answer.bytes);
  if (decoded.check != ReplyCheck::kAccepted || decoded.reply.command != command::kUpgrade) return 0xDEAD;
  return decoded.reply.status;
}

Fault MakeFault(const char* text) {
  const auto fault = ParseFault(text);
  EXPECT_TRUE(fault) << text << ": " << fault.Reason();
  return fault ? *fault : Fault{};
}

std::vector<Fault> MakeFaults(std::initializer_list<const char*> texts) {
  std::vector<Fault> faults;
  for (const char* text : texts) faults.push_back(MakeFault(text));
  return faults;
}

const Bytes kEnter = RequestBytes(command::kUpgrade, selector::kMode);
const Bytes kIdentify = RequestBytes(command::kIdentify, selector::kMode);
const Bytes kFullpackQuery = RequestBytes(command::kUpgrade, selector::kFullpackVersion);
const Bytes kWriteProm = RequestBytes(command::kUpgrade, selector::kWriteProm);

// A station in upgrader mode and the release stamped for it, with the
// installer's side of the block transfer.
class UpgraderStation : public ::testing::Test {
 protected:
  StationSetup setup;
  FirmwareImage image;
  std::unique_ptr<StationModel> station;

  void Start(std::initializer_list<const char*> faults = {}) {
    station = std::make_unique<StationModel>(setup, MakeFaults(faults));
    image.StampUpgraderHeader(InstallerRelease(), 0xC29550A1, setup.info);
    ASSERT_TRUE(station->HandleRequest(kEnter).bytes.empty());
    ASSERT_TRUE(station->InUpgraderMode());
  }
  // The block message in chunks of at most 256 bytes; the status of each.
  std::vector<std::uint16_t> Send(std::uint16_t selector, std::span<const std::uint8_t> message) {
    std::vector<std::uint16_t> statuses;
    for (std::size_t d = 0; d < message.size(); d += kMaxPayload) {
      const auto chunk = message.subspan(d, std::min(kMaxPayload, message.size() - d));
      statuses.push_back(StatusOf(station->HandleRequest(
          RequestBytes(command::kUpgrade, selector, Bytes(chunk.begin(), chunk.end())))));
    }
    return statuses;
  }
  std::uint16_t SendHeader() { return Send(selector::kLoadHeader, Header()).back(); }
  std::uint16_t SendSegment(int segment) {
    return Send(selector::kLoadSegment, ReleaseSegmentMessage(image, segment)).back();
  }
  std::span<const std::uint8_t> Header() const { return image.BlockBytes(kUpgraderHeaderIndex); }
};

std::vector<std::uint16_t> Acks(std::size_t n, std::uint16_t last) {
  std::vector<std::uint16_t> statuses(n - 1, 0x0000);
  statuses.push_back(last);
  return statuses;
}

TEST(StationModel, IdentifyReplyUnpacksToTheRecord) {
  StationSetup setup;
  setup.info.reserved_1 = 0x80000001;
  setup.info.uninterpreted[2] = 0x55;
  for (const FirmwareVersion version : {FirmwareVersion{2, 2, 56}, FirmwareVersion{0xFF, 0xFF, 0xFFFF}}) {
    setup.info.version = version;
    StationModel station(setup);
    const Decoded decoded = Decode(station.HandleRequest(kIdentify).bytes);
    ASSERT_EQ(decoded.check, ReplyCheck::kAccepted);
    EXPECT_EQ(decoded.reply.command, command::kIdentify);
    EXPECT_EQ(decoded.reply.status, 0x0100);
    ASSERT_EQ(decoded.reply.data_length, 40);
    const auto expected = RecordBytes(setup.info);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), decoded.data.begin()));
  }
}

TEST(StationModel, WorkingCodeKnowsOnlyIdentifyAndEnter) {
  StationModel station{StationSetup{}};
  EXPECT_FALSE(station.InUpgraderMode());
  for (const Bytes& request : {kFullpackQuery, kWriteProm, RequestBytes(command::kUpgrade, selector::kLoadHeader, {1, 0, 0}),
                               RequestBytes(command::kUpgrade, 7), RequestBytes(0x1234, 2)}) {
    EXPECT_EQ(StatusOf(station.HandleRequest(request)), 0x2000);
  }
  EXPECT_FALSE(station.PromWritten());

  StationSetup no_code;
  no_code.info.version = {0xFF, 0xFF, 0xFFFF};
  no_code.fullpack_version = 0x1234;
  StationModel empty(no_code);
  EXPECT_TRUE(empty.InUpgraderMode());
  const Decoded decoded = Decode(empty.HandleRequest(kFullpackQuery).bytes);
  EXPECT_EQ(decoded.reply.status, 0x0200);
  ASSERT_EQ(decoded.reply.data_length, 2);
  EXPECT_EQ(ReadWord(decoded.data.data()), 0x1234);
}

TEST(StationModel, RefusesWhatIsNotAWholeGoodRequest) {
  StationModel station{StationSetup{}};
  Bytes bad_checksum = kIdentify;
  bad_checksum.back() ^= 1;
  EXPECT_EQ(StatusOf(station.HandleRequest(bad_checksum)), 0x2200);
  EXPECT_EQ(StatusOf(station.HandleRequest(Bytes(kIdentify.begin(), kIdentify.end() - 1))), 0x2100);
  EXPECT_EQ(StatusOf(station.HandleRequest(RequestBytes(command::kUpgrade, selector::kLoadSegment))), 0x2100);
  EXPECT_EQ(StatusOf(station.HandleLineEvent({LineEvent::Kind::kBadLength, {1, 2, 3, 4, 5, 6}, {}})), 0x2100);
  EXPECT_EQ(StatusOf(station.HandleLineEvent({LineEvent::Kind::kByteTimeout, {4, 0xF0}, {}})), 0x2300);
  EXPECT_EQ(station.Activity().Count(RequestKind::kMalformed), 5);
}

TEST(StationModel, EnterUpgraderModeIsSilentAndRebootsWhenTheRecordSaysSo) {
  StationSetup setup;
  StationModel plain(setup);
  const StationAnswer quiet = plain.HandleRequest(kEnter);
  EXPECT_TRUE(quiet.bytes.empty());
  EXPECT_EQ(quiet.deaf, milliseconds(0));
  EXPECT_TRUE(plain.InUpgraderMode());

  setup.info.reserved_1 = 1;
  setup.reboot_time = milliseconds(1234);
  StationModel rebooting(setup);
  const StationAnswer reboot = rebooting.HandleRequest(kEnter);
  EXPECT_TRUE(reboot.bytes.empty());
  EXPECT_EQ(reboot.deaf, milliseconds(1234));
  EXPECT_EQ(reboot.after_deaf, StationSetup::DefaultBootNoise());
  EXPECT_LE(reboot.after_deaf.size(), kFrameSize);
  EXPECT_EQ(rebooting.Activity().reboots, 1);
}

TEST_F(UpgraderStation, HeaderIsJudgedByItsChecksumAndASecondCopyStartsOver) {
  Start();
  Bytes broken(Header().begin(), Header().end());
  broken[100] ^= 0x01;
  EXPECT_EQ(Send(selector::kLoadHeader, broken), Acks(1, 0x2400));
  EXPECT_EQ(SendHeader(), 0x0300);
  EXPECT_EQ(station->Blocks().refused, 1);
  EXPECT_EQ(station->Blocks().restarts, 1);
  EXPECT_EQ(station->Blocks().headers_confirmed, 1);
}

TEST_F(UpgraderStation, SegmentsAreAcknowledgedChunkByChunkAndJudgedWhole) {
  Start();
  EXPECT_EQ(SendSegment(0), 0x2500);  // no header yet
  ASSERT_EQ(SendHeader(), 0x0300);
  const auto first = ReleaseSegmentMessage(image, 0);
  EXPECT_EQ(Send(selector::kLoadSegment, first), Acks((first.size() + 255) / 256, 0x0500));
  EXPECT_EQ(SendSegment(2), 0x2500);  // out of order
  Bytes wrong_second_word = ReleaseSegmentMessage(image, 1);
  wrong_second_word[6] ^= 0x01;
  EXPECT_EQ(Send(selector::kLoadSegment, wrong_second_word).back(), 0x2500);
  Bytes wrong_address = ReleaseSegmentMessage(image, 1);
  WriteWord(&wrong_address[2], static_cast<std::uint16_t>(image.SegmentAddressWord(1) + 1));
  EXPECT_EQ(Send(selector::kLoadSegment, wrong_address).back(), 0x2500);
  Bytes too_long = ReleaseSegmentMessage(image, 1);
  // The body does not fit the size word.
  WriteWord(&too_long[4], static_cast<std::uint16_t>(image.BlockLengthWord(1) - 1));
  EXPECT_EQ(Send(selector::kLoadSegment, too_long).back(), 0x2500);
  EXPECT_EQ(SendSegment(1), 0x0500);
  EXPECT_EQ(station->Blocks().segments_confirmed, 2);
}

TEST_F(UpgraderStation, WritePromCommitsTheBlocksAndRunsTheNewCode) {
  setup.fullpack_version = image.FullpackVersionWord();
  Start();
  ASSERT_EQ(StatusOf(station->HandleRequest(kFullpackQuery)), 0x0200);
  ASSERT_EQ(SendHeader(), 0x0300);
  for (int segment = 0; segment < kSegmentCount; ++segment) ASSERT_EQ(SendSegment(segment), 0x0500);
  EXPECT_EQ(StatusOf(station->HandleRequest(kWriteProm)), 0x0000);
  EXPECT_TRUE(station->PromWritten());
  EXPECT_FALSE(station->InUpgraderMode());
  EXPECT_EQ(station->Info().version, InstallerRelease());
  EXPECT_EQ(station->Info().write_date, 0xC29550A1u);

  const FlashedState flashed{true, &station->Flashed(), station->FullpackVersionReportedBeforeFlash()};
  const FlashCheck check = CheckFlashedCode(flashed, station->Info(), FirmwareImage());
  EXPECT_TRUE(check.Matches());
  EXPECT_FALSE(check.fullpack_sent);
  EXPECT_EQ(check.header_date_stamp, 0xC29550A1u);
}

// Negative checks of the judge: a station accepts these, the report must not.
TEST_F(UpgraderStation, FlashCheckNamesWhatDiffersFromTheRelease) {
  setup.fullpack_version = 0x0001;
  Start();
  ASSERT_EQ(StatusOf(station->HandleRequest(kFullpackQuery)), 0x0200);
  FirmwareVersion wrong_build = InstallerRelease();
  --wrong_build.build;
  image.StampUpgraderHeader(wrong_build, 0, setup.info);
  ASSERT_EQ(SendHeader(), 0x0300);
  for (int segment = 0; segment < kSegmentCount - 1; ++segment) {
    Bytes message = ReleaseSegmentMessage(image, segment);
    if (segment == 5) message[500] ^= 0xFF;
    ASSERT_EQ(Send(selector::kLoadSegment, message).back(), 0x0500);
  }
  ASSERT_EQ(StatusOf(station->HandleRequest(kWriteProm)), 0x0000);

  const FlashedState flashed{true, &station->Flashed(), station->FullpackVersionReportedBeforeFlash()};
  const FlashCheck check = CheckFlashedCode(flashed, setup.info, FirmwareImage());
  EXPECT_FALSE(check.Matches());
  EXPECT_EQ(check.problems, (std::vector<std::string>{
                                "header bytes 12-15 do not hold release " +
                                    VersionText(InstallerRelease()),
                                "segment 5 differs from the release at message byte 500",
                                "segment 26 was not flashed",
                                "the fullpack was not sent although the station reported version 1 "
                                "and the release has " +
                                    test::HexText(image.FullpackVersionWord())}));

  StationInfo other_station = setup.info;
  other_station.bios = 9;
  const FlashCheck other = CheckFlashedCode(flashed, other_station, FirmwareImage());
  EXPECT_NE(std::find(other.problems.begin(), other.problems.end(),
                      "header bytes 26-43 do not hold the station's hardware fields"),
            other.problems.end());
}

TEST_F(UpgraderStation, ForcedStatusOnTheLastChunkMakesTheInstallerSendTheBlockAgain) {
  Start({"status=0300:segment0.2#1", "status=2600:segment0.last#1"});
  ASSERT_EQ(SendHeader(), 0x0300);
  // A status on an earlier chunk: the rest of the attempt is not sent.
  const auto message = ReleaseSegmentMessage(image, 0);
  EXPECT_EQ(Send(selector::kLoadSegment, std::span(message).first(2 * kMaxPayload)),
            (std::vector<std::uint16_t>{0x0000, 0x0300}));
  EXPECT_EQ(Send(selector::kLoadSegment, message).back(), 0x2600);
  EXPECT_EQ(Send(selector::kLoadSegment, message).back(), 0x0500);
  EXPECT_EQ(station->Blocks().restarts, 2);
  EXPECT_EQ(station->Blocks().segments_confirmed, 1);
}

TEST_F(UpgraderStation, RefusedPacketChangesNothingAndItsResendGoesOn) {
  Start({"status=2200:segment0.2#1"});
  ASSERT_EQ(SendHeader(), 0x0300);
  const auto message = ReleaseSegmentMessage(image, 0);
  const auto chunk = [&](std::size_t i) {
    const std::size_t from = i * kMaxPayload;
    return RequestBytes(command::kUpgrade, selector::kLoadSegment,
                        Bytes(message.begin() + static_cast<std::ptrdiff_t>(from),
                              message.begin() + static_cast<std::ptrdiff_t>(std::min(message.size(), from + kMaxPayload))));
  };
  EXPECT_EQ(StatusOf(station->HandleRequest(chunk(0))), 0x0000);
  EXPECT_EQ(StatusOf(station->HandleRequest(chunk(1))), 0x2200);
  std::uint16_t last = 0;
  for (std::size_t i = 1; i * kMaxPayload < message.size(); ++i) last = StatusOf(station->HandleRequest(chunk(i)));
  EXPECT_EQ(last, 0x0500);
}

TEST_F(UpgraderStation, RepeatAfterALostReplyIsAnsweredWithoutTakingTheChunkTwice) {
  Start({"drop:segment0.2#1", "cut=5:segment0.3#1", "badcrc:segment0.4#1", "extra=2:segment0.5#1"});
  ASSERT_EQ(SendHeader(), 0x0300);
  const auto message = ReleaseSegmentMessage(image, 0);
  std::uint16_t last = 0;
  for (std::size_t d = 0; d < message.size(); d += kMaxPayload) {
    const Bytes request = RequestBytes(
        command::kUpgrade, selector::kLoadSegment,
        Bytes(message.begin() + static_cast<std::ptrdiff_t>(d),
              message.begin() + static_cast<std::ptrdiff_t>(std::min(message.size(), d + kMaxPayload))));
    const StationAnswer first = station->HandleRequest(request);
    switch (d / kMaxPayload + 1) {
      case 2: EXPECT_TRUE(first.bytes.empty()); break;
      case 3: EXPECT_EQ(first.bytes.size(), 5u); break;
      case 4: EXPECT_EQ(Decode(first.bytes).check, ReplyCheck::kBadChecksum); break;
      case 5: EXPECT_EQ(first.bytes.size(), 8u + 2u); break;
      default: last = StatusOf(first); continue;
    }
    EXPECT_EQ(StatusOf(station->HandleRequest(request)), 0x0000);  // the installer's resend
  }
  EXPECT_EQ(last, 0x0500);
  EXPECT_EQ(station->Activity().retransmissions, 4);
  EXPECT_EQ(station->Activity().faulted, 4);
}

TEST(StationFaults, SilenceLeavesTheRequestUnheard) {
  StationModel station(StationSetup{}, MakeFaults({"silence:enter#1", "silence:identify"}));
  EXPECT_TRUE(station.HandleRequest(kEnter).bytes.empty());
  EXPECT_FALSE(station.InUpgraderMode());
  station.HandleRequest(kEnter);
  EXPECT_TRUE(station.InUpgraderMode());
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(station.HandleRequest(kIdentify).bytes.empty());
  EXPECT_EQ(station.Activity().retransmissions, 0);
}

TEST(StationFaults, OccurrenceDelayAndStopAfter) {
  StationSetup setup;
  setup.stop_after = 4;
  StationModel station(setup, MakeFaults({"slow=250:identify#2", "status=2300:any#1"}));
  EXPECT_EQ(Decode(station.HandleRequest(kIdentify).bytes).reply.status, 0x2300);
  const StationAnswer late = station.HandleRequest(kIdentify);
  EXPECT_EQ(late.delay, milliseconds(250));
  EXPECT_EQ(Decode(late.bytes).reply.status, 0x0100);
  EXPECT_EQ(station.HandleRequest(kIdentify).delay, milliseconds(0));
  EXPECT_FALSE(station.HandleRequest(kIdentify).bytes.empty());
  EXPECT_TRUE(station.HandleRequest(kIdentify).bytes.empty());
  EXPECT_TRUE(station.HandleRequest(kEnter).bytes.empty());
  EXPECT_FALSE(station.InUpgraderMode());
  EXPECT_EQ(station.Activity().ignored_after_stop, 2);
}

TEST(FaultSyntax, ReadsKindValueAndTarget) {
  const auto drop = ParseFault("drop:segment12.3#1");
  ASSERT_TRUE(drop) << drop.Reason();
  EXPECT_EQ(drop->kind, FaultKind::kDrop);
  EXPECT_EQ(drop->target.kind, RequestKind::kSegmentChunk);
  EXPECT_EQ(drop->target.segment, 12);
  EXPECT_EQ(drop->target.chunk, 3);
  EXPECT_EQ(drop->target.occurrence, 1);

  const auto status = ParseFault("status=2600:segment.last");
  ASSERT_TRUE(status) << status.Reason();
  EXPECT_EQ(status->value, 0x2600u);
  EXPECT_FALSE(status->target.segment);
  EXPECT_TRUE(status->target.last_chunk);

  const auto extra = ParseFault("extra:any");
  ASSERT_TRUE(extra) << extra.Reason();
  EXPECT_EQ(extra->value, 1u);
  EXPECT_FALSE(extra->target.kind);

  for (const char* good : {"silence:identify", "cut=5:fullpack-version", "slow=300:header.1",
                           "badcrc:prom#2", "extra=4:fullpack.last", "drop:enter"}) {
    const auto fault = ParseFault(good);
    EXPECT_TRUE(fault) << good << ": " << fault.Reason();
  }
  for (const char* bad : {"drop", "boom:identify", "cut:identify", "silence=3:identify",
                          "status=12345:any", "status=zz:any", "drop:segment27", "drop:identify.2",
                          "drop:segment1.x", "drop:segment1.0", "drop:any#0", "drop:nothing", "drop:"}) {
    EXPECT_FALSE(ParseFault(bad)) << bad;
  }
}

TEST(FaultSyntax, TargetsMatchTheirSites) {
  const FaultTarget target = MakeFault("drop:segment3.last").target;
  EXPECT_TRUE(target.Covers({RequestKind::kSegmentChunk, 3, 36, true}));
  EXPECT_FALSE(target.Covers({RequestKind::kSegmentChunk, 3, 35, false}));
  EXPECT_FALSE(target.Covers({RequestKind::kSegmentChunk, 4, 36, true}));
  EXPECT_FALSE(target.Covers({RequestKind::kHeaderChunk, -1, 1, true}));
  EXPECT_TRUE(MakeFault("drop:any").target.Covers({RequestKind::kMalformed}));
}

class Framing : public ::testing::Test {
 protected:
  RequestFramer framer;
  SteadyTime t0{};

  SteadyTime At(int ms) const { return t0 + milliseconds(ms); }
  void Feed(const Bytes& bytes, int ms) { framer.Feed(bytes, At(ms)); }
};

TEST_F(Framing, RequestsAreCutByTheirHeaders) {
  const Bytes chunk = RequestBytes(command::kUpgrade, selector::kLoadSegment, Bytes(256, 0x77));
  Feed(Bytes(chunk.begin(), chunk.begin() + 3), 0);
  EXPECT_FALSE(framer.Next(At(1)));
  Bytes rest(chunk.begin() + 3, chunk.end());
  rest.insert(rest.end(), kIdentify.begin(), kIdentify.end());
  rest.insert(rest.end(), kEnter.begin(), kEnter.begin() + 4);
  Feed(rest, 2);
  const auto first = framer.Next(At(2));
  ASSERT_TRUE(first);
  EXPECT_EQ(first->kind, LineEvent::Kind::kRequest);
  EXPECT_EQ(first->bytes, chunk);
  EXPECT_EQ(first->first_byte, At(0));
  const auto second = framer.Next(At(2));
  ASSERT_TRUE(second);
  EXPECT_EQ(second->bytes, kIdentify);
  EXPECT_FALSE(framer.Next(At(3)));
  EXPECT_EQ(framer.Deadline(), At(2) + kQuietGap);
  // The half request left over is dropped once the line has been quiet.
  const auto cut = framer.Next(At(2) + kQuietGap);
  ASSERT_TRUE(cut);
  EXPECT_EQ(cut->kind, LineEvent::Kind::kByteTimeout);
  EXPECT_EQ(cut->bytes.size(), 4u);
  EXPECT_FALSE(framer.Deadline());
}

TEST_F(Framing, AfterAnImpossibleLengthEverythingIsDroppedUntilTheLineIsQuiet) {
  Feed({0x00, 0xF0, 0x05, 0x00, 0xFF, 0x7F, 1, 2, 3}, 0);
  const auto bad = framer.Next(At(0));
  ASSERT_TRUE(bad);
  EXPECT_EQ(bad->kind, LineEvent::Kind::kBadLength);
  Feed(kIdentify, 10);  // still part of the garbage
  EXPECT_FALSE(framer.Next(At(10)));
  EXPECT_FALSE(framer.Next(At(10) + kQuietGap - milliseconds(1)));
  EXPECT_FALSE(framer.Next(At(10) + kQuietGap));
  Feed(kIdentify, 100);
  const auto good = framer.Next(At(100));
  ASSERT_TRUE(good);
  EXPECT_EQ(good->kind, LineEvent::Kind::kRequest);
  EXPECT_EQ(good->bytes, kIdentify);
}

TEST_F(Framing, LengthWordsOfTheThreeRequestShapes) {
  EXPECT_EQ(RequestLength(kIdentify), 8u);
  EXPECT_EQ(RequestLength(kEnter), 9u);
  EXPECT_EQ(RequestLength(RequestBytes(command::kUpgrade, 3, Bytes(256))), 264u);
  EXPECT_FALSE(RequestLength(Bytes{0x04, 0xF0, 0xFF, 0xFF, 0x01, 0x00}));
  EXPECT_FALSE(RequestLength(Bytes{0x00, 0xF0, 0xFF, 0xFF, 0x00, 0x00}));
  EXPECT_FALSE(RequestLength(Bytes{0x00, 0xF0, 0x05, 0x00, 0x05, 0x00}));
  EXPECT_FALSE(RequestLength(Bytes{0x00, 0xF0, 0x05, 0x00, 0x07, 0x01}));
}

}  // namespace
}  // namespace zelt20::sim
#endif
