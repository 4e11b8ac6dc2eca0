// The fault matrix on the virtual clock: one installation per row against
// the simulated station's model behind a scripted line, with the read
// semantics of the real port, so that every time-out and wait costs no
// real time. Besides its log, outcome and the station's report, every row
// is checked for a closed port and for taking exactly the time its
// time-outs and waits require: the line passes bytes at once, so the least
// time is the whole time.
//
// The rows that need a real line (a hang-up, a second installer, replies
// that cross read time-outs) are in e2e_fault_matrix_test.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/cp1251.h"
#include "install/installation.h"
#include "sim/report.h"
#include "sim/station_model.h"
#include "tests/support/fault_rows.h"
#include "tests/support/recording_run.h"
#include "tests/support/scripted_station.h"
#include "tests/support/virtual_clock.h"

namespace zelt20::test {
namespace {

using sim::StationSetup;

// A status answer's error pair, as the exchange or the block transfer logs it.
std::string StatusLine(const std::string& message) { return "\r\nОшибка:" + message + "\r\n"; }
const std::string kUnknownCommand = StatusLine("ответ - неизвестная команда");
const std::string kWrongHeader = StatusLine("ответ - неправильный заголовок команды");
const std::string kWrongPacketCrc = StatusLine("ответ - неправильная CRC пакета");
const std::string kByteTimeout = StatusLine("ответ - истек таймаут ожидания байта");
const std::string kWrongProm = StatusLine("ответ - неправильный тип ППЗУ");
const std::string kPromNotDone = StatusLine("ответ - операция с ППЗУ не выполнена");
const std::string kFullpackNotDone = StatusLine("ответ - обработка fullpack не выполнена");
const std::string kBadHeaderCrc = StatusLine("ответ - неправильная CRC заголовка апгрейтора");
const std::string kBadSegmentFormat = StatusLine("ответ - неправильный формат сегмента");
const std::string kBadSegmentCrc = StatusLine("ответ - неправильная CRC сегмента");
const std::string kWrongField = StatusLine("принято неправильное поле команды");

// Run times in terms of segment 0, where the status rows strike: the reads
// of the attempts up to the end, after the header.
LeastTime Segment0Reads(int segment_chunk_reads, int chunk_reads = 0) {
  return [=](const RunTimes& t) {
    return t.BeforeSegment(0) + segment_chunk_reads * kSegmentChunkRead + chunk_reads * kChunkRead;
  };
}
// The first attempt through its last chunk, then `more` reads at 75 ms;
// `again`: a whole second attempt, which runs at 75 ms throughout.
LeastTime Segment0ThroughLast(int more, bool again = false) {
  return [=](const RunTimes& t) {
    const int second = again ? t.Chunks(0) : 0;
    return t.BeforeSegment(0) + (t.Chunks(0) - 1) * kSegmentChunkRead + (1 + more + second) * kChunkRead;
  };
}
LeastTime BeforeSegment(int segment) {
  return [=](const RunTimes& t) { return t.BeforeSegment(segment); };
}

// One status code at the first, a middle and the last chunk of segment 0.
void AddStatusRows(std::vector<Row>& rows, const std::string& code, const std::string& first_and_middle,
                   LeastTime first, LeastTime middle, const std::string& last_tail, LeastTime last) {
  rows.push_back({.name = "status " + code + " on the first chunk of a segment",
                  .faults = {"status=" + code + ":segment0.1"},
                  .log_tail = first_and_middle,
                  .least = std::move(first)});
  rows.push_back({.name = "status " + code + " on a middle chunk of a segment",
                  .faults = {"status=" + code + ":segment0.18"},
                  .log_tail = first_and_middle,
                  .least = std::move(middle)});
  rows.push_back({.name = "status " + code + " on the last chunk of a segment",
                  .faults = {"status=" + code + ":segment0.last"},
                  .log_tail = last_tail,
                  .least = std::move(last)});
}

std::vector<Row> StatusRows() {
  std::vector<Row> rows;
  // 0x20 to 0x23: the exchange resends the chunk, which is refused again.
  for (const auto& [code, message] : {std::pair{"2000", kUnknownCommand}, std::pair{"2100", kWrongHeader},
                                      std::pair{"2200", kWrongPacketCrc}, std::pair{"2300", kByteTimeout}}) {
    const std::string tail = kHeaderLoaded + Twice(message) + kConnectionLost;
    AddStatusRows(rows, code, tail, Segment0Reads(2), Segment0Reads(19), tail, Segment0ThroughLast(1));
  }
  // 0x27 and 0x29 end the exchange, and the run, at once.
  for (const auto& [code, message] : {std::pair{"2700", kWrongProm}, std::pair{"2900", kFullpackNotDone}}) {
    const std::string tail = kHeaderLoaded + message + kConnectionLost;
    AddStatusRows(rows, code, tail, Segment0Reads(1), Segment0Reads(18), tail, Segment0ThroughLast(0));
  }
  // 0x28 is logged and then judged by the block transfer: before the last
  // chunk it ends the attempt, on the last it is a wrong answer.
  AddStatusRows(rows, "2801",
                kHeaderLoaded + kPromNotDone + kBlockResend + kPromNotDone + kExhausted + kConnectionLost,
                Segment0Reads(2), Segment0Reads(36),
                kHeaderLoaded + kPromNotDone + kWrongField + kConnectionLost, Segment0ThroughLast(0));
  // Block verdicts before the last chunk end the attempt silently; on the
  // last they are logged and the block is sent once more, at 75 ms.
  const std::string silent_twice = kHeaderLoaded + kBlockResend + kExhausted + kConnectionLost;
  for (const auto& [code, message] : {std::pair{"2400", kBadHeaderCrc}, std::pair{"2500", kBadSegmentFormat},
                                      std::pair{"2600", kBadSegmentCrc}}) {
    AddStatusRows(rows, code, silent_twice, Segment0Reads(2), Segment0Reads(36),
                  kHeaderLoaded + message + kBlockResend + message + kExhausted + kConnectionLost,
                  Segment0ThroughLast(0, true));
  }
  // Any other answer: the attempt ends, or on the last chunk the block fails.
  AddStatusRows(rows, "0100", silent_twice, Segment0Reads(2), Segment0Reads(36),
                kHeaderLoaded + kWrongField + kConnectionLost, Segment0ThroughLast(0));
  // An acknowledgement with a low byte: the chunk is taken and the block
  // goes on; on the last chunk a bare acknowledgement is no confirmation.
  const std::string confirmed = kHeaderLoaded + kSegment0Loaded + kStopped;
  for (const char* chunk : {"1", "18"}) {
    rows.push_back({.name = std::string("status 00FF on chunk ") + chunk + " of a segment",
                    .faults = {std::string("status=00FF:segment0.") + chunk},
                    .during = StopAfter(kSegment0Loaded),
                    .log_tail = confirmed,
                    .outcome = RunOutcome::kStopped,
                    .least = BeforeSegment(1)});
  }
  rows.push_back({.name = "status 00FF on the last chunk of a segment",
                  .faults = {"status=00FF:segment0.last"},
                  .log_tail = silent_twice,
                  .least = Segment0ThroughLast(0, true)});
  return rows;
}

std::vector<Row> Rows() {
  std::vector<Row> rows = {
      // A station that does not hear one kind of request.
      {.name = "silent at identify",
       .faults = {"silence:identify"},
       .log_tail = kIdentifyLine + Twice(kNoReply) + kCommandFailed,
       .least = [](const RunTimes&) { return 2 * SilentRead(kIdentifyRead); }},
      {.name = "deaf to the mode switch: the working code refuses the fullpack query",
       .faults = {"silence:enter"},
       .log_tail = kQueryLine + Twice(kUnknownCommand) + kLateCommandFailed,
       .least = [](const RunTimes& t) { return t.BeforeFullpackQuery() + 2 * kQueryRead; }},
      {.name = "silent at the fullpack version query",
       .faults = {"silence:fullpack-version"},
       .log_tail = kQueryLine + Twice(kNoReply) + kLateCommandFailed,
       .least = [](const RunTimes& t) { return t.BeforeFullpackQuery() + 2 * SilentRead(kQueryRead); }},
      {.name = "silent at the header chunk",
       .faults = {"silence:header"},
       .log_tail = kLoadingCode + Twice(kNoReply) + kConnectionLost,
       .least = [](const RunTimes& t) { return t.BeforeHeader() + 2 * SilentRead(kChunkRead); }},
      {.name = "silent at a fullpack chunk",
       .station = FullpackDiffers,
       .faults = {"silence:fullpack.1"},
       .log_tail = kNewFullpack + Twice(kNoReply) + kConnectionLost,
       .least = [](const RunTimes& t) { return t.BeforeFullpack() + 2 * SilentRead(kChunkRead); }},
      {.name = "silent at a segment chunk",
       .faults = {"silence:segment0.2"},
       .log_tail = kHeaderLoaded + Twice(kNoReply) + kConnectionLost,
       .least =
           [](const RunTimes& t) {
             return t.BeforeSegment(0) + kSegmentChunkRead + 2 * SilentRead(kSegmentChunkRead);
           }},
      {.name = "silent at write PROM",
       .faults = {"silence:prom"},
       .log_tail = kWritingProm + Twice(kNoReply) + kPromFailed,
       .least = [](const RunTimes& t) { return t.BeforeProm() + 2 * SilentRead(kPromRead); },
       .station_check = [](const sim::SimulatorReport& report) { EXPECT_EQ(report.activity.prom_writes, 0); }},

      // The station acts, its reply is lost once; the resend gets it again.
      {.name = "identify reply lost once",
       .faults = {"drop:identify#1"},
       .during = StopAfter("Резервное поле"),
       .log_tail = kRecordEnd + kStopped,
       .outcome = RunOutcome::kStopped,
       .least = [](const RunTimes&) { return SilentRead(kIdentifyRead) + kIdentifyRead + kIdentifiedPause; },
       .log_has = kIdentifyLine + kNoReply + kResend + kStationVersion},
      {.name = "fullpack version reply lost once",
       .faults = {"drop:fullpack-version#1"},
       .during = StopAfter("Доступная версия fullpack"),
       .log_tail = kQueryLine + kNoReply + kResend + kQueryAnswered + kLoadingCode + kStopped,
       .outcome = RunOutcome::kStopped,
       .least =
           [](const RunTimes& t) { return t.BeforeFullpackQuery() + SilentRead(kQueryRead) + kQueryRead; }},
      {.name = "segment chunk reply lost once",
       .faults = {"drop:segment0.2#1"},
       .during = StopAfter(kSegment0Loaded),
       .log_tail = kHeaderLoaded + kNoReply + kResend + kSegment0Loaded + kStopped,
       .outcome = RunOutcome::kStopped,
       .least = [](const RunTimes& t) { return t.BeforeSegment(1) + SilentRead(kSegmentChunkRead); },
       .station_check =
           [](const sim::SimulatorReport& report) {
             EXPECT_EQ(report.activity.retransmissions, 1);
             // Stop holds back segment 1's first chunk, even where it is
             // segment 1's only one.
             EXPECT_EQ(report.blocks.segments_confirmed, 1);
           }},
      {.name = "last fullpack chunk reply lost once",
       .station = FullpackDiffers,
       .faults = {"drop:fullpack.last#1"},
       .during = StopAfter("Fullpack загружен"),
       .log_tail = kNoReply + kResend + kFullpackLoaded + kLoadingCode + kStopped,
       .outcome = RunOutcome::kStopped,
       .least = [](const RunTimes& t) { return t.BeforeHeader() + SilentRead(kChunkRead); }},

      // Replies cut short by a pause on the line.
      {.name = "identify reply cut once",
       .faults = {"cut=5:identify#1"},
       .during = StopAfter("Резервное поле"),
       .log_tail = kRecordEnd + kStopped,
       .outcome = RunOutcome::kStopped,
       .least = [](const RunTimes&) { return 2 * kIdentifyRead + kIdentifiedPause; },
       .log_has = kIdentifyLine + kNoReply + kResend + kStationVersion},
      {.name = "fullpack version reply always cut",
       .faults = {"cut=9:fullpack-version"},
       .log_tail = kQueryLine + Twice(kNoReply) + kLateCommandFailed,
       .least = [](const RunTimes& t) { return t.BeforeFullpackQuery() + 2 * kQueryRead; }},
      {.name = "write PROM reply always cut: the station wrote, the run failed",
       .faults = {"cut=7:prom"},
       .log_tail = kWritingProm + Twice(kNoReply) + kPromFailed,
       .least = [](const RunTimes& t) { return t.BeforeProm() + 2 * kPromRead; },
       .station_check = ExpectWrotePromAndHoldsTheRelease},

      // Replies followed by more bytes in the same read.
      {.name = "last segment chunk answered twice over once",
       .faults = {"extra=8:segment0.last#1"},
       .during = StopAfter(kSegment0Loaded),
       .log_tail = kHeaderLoaded + kNoReply + kResend + kSegment0Loaded + kStopped,
       .outcome = RunOutcome::kStopped,
       .least = [](const RunTimes& t) { return t.BeforeSegment(1) + kChunkRead; }},
      {.name = "header reply always followed by a stray byte",
       .faults = {"extra:header"},
       .log_tail = kLoadingCode + Twice(kNoReply) + kConnectionLost,
       .least = [](const RunTimes& t) { return t.BeforeHeader() + 2 * kChunkRead; }},

      // Replies with a wrong checksum.
      {.name = "identify reply corrupted once",
       .faults = {"badcrc:identify#1"},
       .during = StopAfter("Резервное поле"),
       .log_tail = kRecordEnd + kStopped,
       .outcome = RunOutcome::kStopped,
       .least = [](const RunTimes&) { return 2 * kIdentifyRead + kIdentifiedPause; },
       .log_has = kIdentifyLine + kBadChecksum + kResend + kStationVersion},
      {.name = "last chunk of segment 7 always corrupted",
       .faults = {"badcrc:segment7.last"},
       .log_tail = SegmentLoadedLine(6) + Twice(kBadChecksum) + kConnectionLost,
       .least =
           [](const RunTimes& t) {
             return t.BeforeSegment(7) + (t.Chunks(7) - 1) * kSegmentChunkRead + 2 * kChunkRead;
           }},
      {.name = "write PROM reply corrupted once",
       .faults = {"badcrc:prom#1"},
       .log_tail = kWritingProm + kBadChecksum + kResend + kInstalledLine,
       .outcome = RunOutcome::kInstalled,
       .least = [](const RunTimes& t) { return t.BeforeProm() + 2 * kPromRead; },
       .station_check = ExpectWrotePromAndHoldsTheRelease},

      // A station that stops answering in the middle of a block: requests
      // 4 on are fullpack chunks, the 61st is chunk 58.
      {.name = "station falls silent in the middle of the fullpack",
       .station =
           [](StationSetup& s) {
             FullpackDiffers(s);
             s.stop_after = 60;
           },
       .log_tail = kNewFullpack + Twice(kNoReply) + kConnectionLost,
       .least =
           [](const RunTimes& t) {
             return t.BeforeFullpack() + 57 * kChunkRead + 2 * SilentRead(kChunkRead);
           },
       .station_check =
           [](const sim::SimulatorReport& report) { EXPECT_EQ(report.activity.ignored_after_stop, 2); }},

      // A rebooting station that sends nothing: the 8-second wait and the
      // one drain read, which runs out.
      {.name = "rebooted station sends nothing: the drain read runs out",
       .station =
           [](StationSetup& s) {
             Reboots(s);
             s.boot_noise.clear();
           },
       .during = StopAfter("Доступная версия fullpack"),
       .log_tail = kRebooting + kQueryLine + kQueryAnswered + kLoadingCode + kStopped,
       .outcome = RunOutcome::kStopped,
       .least = [](const RunTimes& t) { return t.BeforeHeader(); }},
  };
  for (Row& row : StatusRows()) rows.push_back(std::move(row));
  return rows;
}

// The date the header is stamped with; any will do.
constexpr CalendarTime kStampTime{2026, 12, 2, 8, 14, 30, 45, 0};

// One row's run: the station's model answers every request on the scripted
// line at once. A rebooting station's boot noise goes on the line with its
// (absent) reply: the installer waits 8 s before it reads again, longer
// than these stations take to reboot.
class RowRun {
 public:
  explicit RowRun(const Row& row)
      : setup_(RowStation(row)),
        station_(setup_, RowFaults(row)),
        installer_({line_, [](const ComPort&) { return ComDevice{"/dev/zelt20-line"}; }, clock_,
                    [] { return kStampTime; }}) {
    line_.SetDefaultAnswer([this](const Bytes& request) {
      sim::StationAnswer answer = station_.HandleRequest(request);
      answer.bytes.insert(answer.bytes.end(), answer.after_deaf.begin(), answer.after_deaf.end());
      return answer.bytes;
    });
    if (row.during.act == Act::kStop) PressStopAfter(Utf8ToCp1251(row.during.after_line));
  }

  RowEnd Run() {
    const std::uint32_t start = clock_.Now();
    const RunOutcome outcome = installer_.RunInstallation(window_, "1");
    elapsed_ = Ms{clock_.Now() - start};
    return {window_.LogUtf8(), outcome, window_.Flags().finished, window_.FinishCount()};
  }

  const StationSetup& Setup() const { return setup_; }
  sim::SimulatorReport Report() const { return sim::MakeReport(station_); }
  const ScriptedStation& Line() const { return line_; }
  Ms Elapsed() const { return elapsed_; }

 private:
  void PressStopAfter(std::string line) {
    window_.OnAppend([this, line = std::move(line)](const std::string& appended) {
      if (appended.find(line) != std::string::npos) window_.Flags().stop_requested = true;
    });
  }

  StationSetup setup_;
  sim::StationModel station_;
  VirtualClock clock_;
  ScriptedStation line_{clock_};
  RecordingRun window_;
  Installer installer_;
  Ms elapsed_{0};
};

class FaultMatrix : public ::testing::TestWithParam<Row> {};

TEST_P(FaultMatrix, RowEndsAsItsFaultsRequire) {
  const Row& row = GetParam();
  ASSERT_TRUE(row.during.act == Act::kNothing || row.during.act == Act::kStop)
      << "a row that pulls the line or starts a second installer needs a real line";
  RowRun run(row);
  const RowEnd end = run.Run();
  CheckRowEnd(row, end, run.Report());
  EXPECT_FALSE(run.Line().IsOpen());
  EXPECT_EQ(run.Line().CloseCount(), 1);
  EXPECT_EQ(run.Elapsed(), row.least(StationRunTimes(BuiltInImage(), run.Setup())))
      << "the time-outs and waits of the run differ from the row's";
}

// A test name from the row's: letters and digits, the rest underscores.
std::string TestName(const ::testing::TestParamInfo<Row>& info) {
  std::string name = info.param.name;
  for (char& c : name) {
    if (std::isalnum(static_cast<unsigned char>(c)) == 0) c = '_';
  }
  return name;
}

INSTANTIATE_TEST_SUITE_P(Rows, FaultMatrix, ::testing::ValuesIn(Rows()), TestName);

}  // namespace
}  // namespace zelt20::test
