// The fault matrix: one installation per row, in this process, against the
// simulated station over a pseudo-terminal of its own, with the platform's
// serial port and real time-outs. A row says how the station is set up and
// which faults it commits, what the operator (or the machine) does during
// the run, how the log must end, how the run must end, and the least time
// its time-outs and waits require. Every row is also checked for a closed
// port and for a run time between that least time and a generous bound
// above it; the whole matrix for leaked descriptors.
//
// The rows mostly wait on time-outs, so they all run at once and the matrix
// takes about as long as its longest row (a whole transfer, two minutes).
// Rows whose time-outs add up to more are marked long and run as a test of
// their own, labelled slow.
//
// ZELT20_FAULT_ROWS=TEXT runs only the rows whose name holds TEXT.
// Fault syntax: sim/faults.h (e.g. "drop:segment0.2#1"). Segment 0 spans
// dozens of chunks in both stand-in releases; chunk 18 stands for a middle
// one.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/child_process.h"
#include "tests/support/line_run.h"
#include "tests/support/release_text.h"

namespace zelt20::test {
namespace {

using namespace std::chrono_literals;
using sim::RequestKind;
using sim::SimulatorReport;
using sim::StationSetup;

// What happens on the installer's side during the run.
enum class Act {
  kNothing,         // every box is answered OK
  kStop,            // the operator presses Stop once the line is logged
  kPullTheLine,     // the station's end of the line goes away soon after the line
  kSecondInstaller  // zelt20-install is started on the same port after the line
};

struct During {
  Act act = Act::kNothing;
  std::string after_line = {};
};

During StopAfter(std::string line) { return {Act::kStop, std::move(line)}; }
During PullTheLineAfter(std::string line) { return {Act::kPullTheLine, std::move(line)}; }
During SecondInstallerAfter(std::string line) { return {Act::kSecondInstaller, std::move(line)}; }

using LeastTime = std::function<Ms(const RunTimes&)>;

struct Row {
  std::string name = {};
  std::function<void(StationSetup&)> station = {};  // changes to the station; none: as it is
  std::vector<std::string> faults = {};
  // During() rather than {}: with {} GCC 12 at -O3 warns falsely that the
  // line of a row pushed into a vector may be used uninitialized.
  During during = During();
  std::string log_tail = {};  // the log ends with exactly this (UTF-8)
  RunOutcome outcome = RunOutcome::kFailed;
  LeastTime least = {};
  std::string log_has = {};  // and holds this, when given
  std::function<void(const SimulatorReport&)> station_check = {};
  bool long_row = false;
};

// The run may take this much longer than its time-outs and waits: the
// other rows, the sanitizers and the machine's load.
Ms UpperBound(Ms least) { return least * 1.25 + Ms{5000}; }
// Waits are measured on a millisecond clock.
constexpr Ms kClockSlack{20};
// A row not ended by then has hung.
constexpr Ms kHangMargin{60000};
// Soon enough to come while the installer waits for the held-back reply.
constexpr auto kPullDelay = 500ms;

// Log pieces (UTF-8), each as the installer appends it.
const std::string kIdentifyLine = "Получение версии боевого кода... ";
const std::string kQueryLine = "Получение версии fullpack... ";
const std::string kReleaseFullpack = HexText(BuiltInImage().FullpackVersionWord());
const std::string kQueryAnswered =
    kReleaseFullpack + " \r\nДоступная версия fullpack... " + kReleaseFullpack + " \r\n";
const std::string kNewFullpack = "Загрузка нового fullpack...\r\n";
const std::string kFullpackLoaded = "Fullpack загружен\r\n";
const std::string kLoadingCode = "Загрузка кода...\r\n";
const std::string kHeaderLoaded = "Заголовок апгрейтора загружен\r\n";
const std::string kWritingProm = "Запись ППЗУ...\r\n";
const std::string kInstalledLine = "Установка новой версии прошла успешно!\r\n";
const std::string kRebooting = "Станция перегружается в режиме апгрейтора...\r\n";
const std::string kRecordEnd = " 00000000\r\n";  // the last row of the station's record
const std::string kNoReply = "\r\nОшибка: прием пакета не выполнен\r\n";
const std::string kBadChecksum = "\r\nОшибка: принят пакет с неправильной CRC\r\n";
const std::string kSendFailed = "\r\nОшибка: отправка пакета не выполнена\r\n";
const std::string kResend = "Перепосылка...\r\n";
const std::string kBlockResend = "Перепосылка всего сегмента\r\n";
const std::string kExhausted = "Ошибка: исчерпано число перезапросов\r\n";
const std::string kConnectionLost = " \r\nОшибка: соединение потеряно!\r\n";
const std::string kCommandFailed = "\r\nОшибка: команда не выполнена!\r\n";
const std::string kLateCommandFailed = " \r\nОшибка: команда не выполнена!\r\n";
const std::string kPromFailed = " \r\nОшибка:  команда не выполнена!\r\n";
const std::string kStopped = "\r\nВыполнение прервано пользователем\r\n";
const std::string kReleaseLine = ReleaseLine();
// The station's version as the printout of its record shows it.
const std::string kStationVersion = VersionText(StationSetup::DefaultStationInfo().version) + "\r\n";

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

// Both attempts of an exchange failing the same way.
std::string Twice(const std::string& failure) { return failure + kResend + failure + kExhausted; }

const std::string kSegment0Loaded = SegmentLoadedLine(0);

void FullpackDiffers(StationSetup& station) {
  station.fullpack_version = StationSetup::DefaultFullpackVersion();
}
void Reboots(StationSetup& station) { station.info.reserved_1 |= 1u; }

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

void ExpectWrotePromAndHoldsTheRelease(const SimulatorReport& report) {
  EXPECT_EQ(report.activity.prom_writes, 1);
  EXPECT_TRUE(report.flash.Matches()) << sim::FormatReport(report);
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
       .station_check = [](const SimulatorReport& report) { EXPECT_EQ(report.activity.prom_writes, 0); },
       .long_row = true},

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
           [](const SimulatorReport& report) {
             EXPECT_EQ(report.activity.retransmissions, 1);
             // The request that sees the Stop is segment 1's first chunk,
             // which completes segment 1 when it is its only one.
             const bool one_chunk = BuiltInImage().BlockMessageLength(1) <= static_cast<int>(kMaxPayload);
             EXPECT_EQ(report.blocks.segments_confirmed, one_chunk ? 2 : 1);
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
      {.name = "middle segment chunk reply cut once",
       .faults = {"cut=7:segment0.18#1"},
       .during = StopAfter(kSegment0Loaded),
       .log_tail = kHeaderLoaded + kNoReply + kResend + kSegment0Loaded + kStopped,
       .outcome = RunOutcome::kStopped,
       .least = [](const RunTimes& t) { return t.BeforeSegment(1) + kSegmentChunkRead; }},
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
      {.name = "a burst longer than a read: its rest spoils the resend's reply",
       .faults = {"extra=300:fullpack-version#1"},
       .log_tail = kQueryLine + Twice(kNoReply) + kLateCommandFailed,
       .least = [](const RunTimes& t) { return t.BeforeFullpackQuery() + kQueryRead; }},
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

      // A reply that comes after the read has given up on it arrives with
      // the resend's reply, and the two together are no reply.
      {.name = "header reply later than the whole read",
       .faults = {"slow=21000:header#1"},
       .log_tail = kLoadingCode + Twice(kNoReply) + kConnectionLost,
       .least = [](const RunTimes& t) { return t.BeforeHeader() + Ms{21000} + kChunkRead; }},

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
           [](const SimulatorReport& report) { EXPECT_EQ(report.activity.ignored_after_stop, 2); }},

      // Rebooting stations: the 8-second wait and the one drain read.
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
      {.name = "station reboots for longer than the installer waits",
       .station =
           [](StationSetup& s) {
             Reboots(s);
             s.reboot_time = 9500ms;
           },
       .during = StopAfter("Доступная версия fullpack"),
       .log_tail = kRebooting + kQueryLine + kQueryAnswered + kLoadingCode + kStopped,
       .outcome = RunOutcome::kStopped,
       .least = [](const RunTimes& t) { return t.BeforeHeader(); }},

      // The line goes away while the installer waits for a held-back reply:
      // the read ends at once, the resend cannot be written.
      {.name = "line gone during a read",
       .faults = {"slow=5000:segment1.1"},
       .during = PullTheLineAfter(kSegment0Loaded),
       .log_tail = kSegment0Loaded + kNoReply + kResend + kSendFailed + kExhausted + kConnectionLost,
       .least = [](const RunTimes& t) { return t.BeforeSegment(1) + Ms{kPullDelay}; }},

      // Another installer tries the port while this one transfers.
      {.name = "second installer on the same port",
       .during = SecondInstallerAfter("Загрузка кода..."),
       .log_tail = kWritingProm + kInstalledLine,
       .outcome = RunOutcome::kInstalled,
       .least = [](const RunTimes& t) { return t.WholeRun(); },
       .station_check = ExpectWrotePromAndHoldsTheRelease},
  };
  for (Row& row : StatusRows()) rows.push_back(std::move(row));
  return rows;
}

// One row's run: its station, its installer, and the helper thread that
// pulls the line or starts the second installer.
struct RowRun {
  RowRun(const Row& matrix_row, int com_number) : row(matrix_row) {
    sim::SimulatorOptions options;
    options.station.fullpack_version = BuiltInImage().FullpackVersionWord();
    if (row.station) row.station(options.station);
    for (const std::string& text : row.faults) {
      const auto fault = sim::ParseFault(text);
      if (!fault) throw std::invalid_argument(row.name + ": " + text + ": " + fault.Reason());
      options.faults.push_back(*fault);
    }
    setup = options.station;
    station = std::make_unique<StationOnLine>(std::move(options), com_number);
    installer = std::make_unique<InstallerThread>(*station);
    React();
  }
  RowRun(const RowRun&) = delete;
  RowRun& operator=(const RowRun&) = delete;
  ~RowRun() {
    if (helper.joinable()) helper.join();
  }

  void React() {
    switch (row.during.act) {
      case Act::kNothing:
        return;
      case Act::kStop:
        installer->OnLine(row.during.after_line,
                          [this] { installer->Window().Flags().stop_requested = true; });
        return;
      case Act::kPullTheLine:
        installer->OnLine(row.during.after_line, [this] {
          helper = std::thread([this] {
            std::this_thread::sleep_for(kPullDelay);
            station->HangUp();
          });
        });
        return;
      case Act::kSecondInstaller:
        installer->OnLine(row.during.after_line, [this] {
          helper = std::thread([this] {
            ChildProcess second(ZELT20_INSTALL_PROGRAM, {"--yes", station->PortText()},
                                station->Environment());
            second_exit = second.WaitForExit(60s);
            second_out = second.Out();
          });
        });
        return;
    }
  }

  const Row& row;
  StationSetup setup;
  std::unique_ptr<StationOnLine> station;
  std::unique_ptr<InstallerThread> installer;
  std::thread helper;
  std::optional<int> second_exit;
  std::string second_out;
  InstallerRunResult result;
};

std::string LastBytes(const std::string& text, std::size_t count) {
  return text.size() <= count ? text : "..." + text.substr(text.size() - count);
}

void CheckRow(const RowRun& run) {
  const Row& row = run.row;
  const InstallerRunResult& result = run.result;
  SCOPED_TRACE("row: " + row.name);
  EXPECT_TRUE(result.log.ends_with(row.log_tail)) << "the log ends:\n"
                                                  << LastBytes(result.log, 700) << "\nexpected its end:\n"
                                                  << row.log_tail;
  if (!row.log_has.empty()) {
    EXPECT_NE(result.log.find(row.log_has), std::string::npos) << result.log;
  }
  EXPECT_EQ(result.outcome, row.outcome);
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(result.finish_calls, 1);

  EXPECT_FALSE(HeldOpen(run.station->Device())) << "the port is still open";
  if (!run.station->HungUp()) {
    EXPECT_TRUE(OpensAgain(run.station->Device())) << "the port is still locked";
  }

  const Ms least = row.least(RunTimes(BuiltInImage(), run.setup));
  EXPECT_GE(result.elapsed, least - kClockSlack) << "ended sooner than its time-outs allow";
  EXPECT_LE(result.elapsed, UpperBound(least)) << "took longer than its time-outs explain";
  std::printf("[ row      ] %-70s %7.1f s (least %7.1f s)\n", row.name.c_str(), result.elapsed.count() / 1000,
              least.count() / 1000);

  if (row.station_check) row.station_check(run.station->Report());
  if (row.during.act == Act::kSecondInstaller) {
    EXPECT_EQ(run.second_exit, 1);
    EXPECT_EQ(run.second_out, kReleaseLine + "\r\nОшибка: невозможно открыть порт! \\\\.\\COM" +
                                  run.station->PortText() + "\r\n");
  }
}

// Runs the rows at once, each on its own pseudo-terminal and COM port.
void RunRows(const std::vector<Row>& rows) {
  ASSERT_LE(rows.size(), 255u);
  const std::vector<std::string> descriptors_before = OpenDescriptors();
  {
    // Every station is set up before any installer thread starts.
    std::vector<std::unique_ptr<RowRun>> runs;
    for (std::size_t i = 0; i < rows.size(); ++i) {
      runs.push_back(std::make_unique<RowRun>(rows[i], static_cast<int>(i) + 1));
    }
    const auto started = std::chrono::steady_clock::now();
    for (auto& run : runs) run->installer->Start();
    for (auto& run : runs) {
      const Ms least = run->row.least(RunTimes(BuiltInImage(), run->setup));
      const auto deadline = started + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                          UpperBound(least) + kHangMargin);
      if (!run->installer->WaitFor(
              std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()))) {
        // A worker that never ends cannot be joined: report the row and quit.
        std::fprintf(stderr, "fault matrix: row \"%s\" hangs\n", run->row.name.c_str());
        std::fflush(stdout);
        std::_Exit(1);
      }
      run->result = run->installer->Join();
      if (run->helper.joinable()) run->helper.join();
    }
    for (const auto& run : runs) CheckRow(*run);
  }
  EXPECT_EQ(OpenDescriptors(), descriptors_before) << "descriptors leaked";
}

// The quick or the long rows; with ZELT20_FAULT_ROWS set, only those whose
// name holds its text (for trying a new row on its own).
std::vector<Row> Select(bool long_rows) {
  const char* only = std::getenv("ZELT20_FAULT_ROWS");
  std::vector<Row> selected;
  for (Row& row : Rows()) {
    if (row.long_row == long_rows && (only == nullptr || row.name.find(only) != std::string::npos)) {
      selected.push_back(std::move(row));
    }
  }
  return selected;
}

TEST(FaultMatrix, EveryRowEndsAsItsFaultsRequire) { RunRows(Select(false)); }

TEST(FaultMatrixLongRows, EveryRowEndsAsItsFaultsRequire) { RunRows(Select(true)); }

}  // namespace
}  // namespace zelt20::test
