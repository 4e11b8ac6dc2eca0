// What a run leaves in the records folder, piece by piece: the record's
// line and its fields, the log file's name and bytes, installations.jsonl
// appended by several writers and read while they write, a torn last line,
// and the history table.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <ctime>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "core/cp1251.h"
#include "record/history.h"
#include "record/install_record.h"
#include "record/log_file.h"
#include "record/records_file.h"
#include "tests/support/release_text.h"
#include "tests/support/temp_dir.h"
#if !defined(_WIN32)
#include "record/this_machine.h"
#include "tests/support/scoped_env.h"
#endif

namespace zelt20 {
namespace {

using Json = nlohmann::json;
using test::TempDir;

// 2026-12-09 12:30:12.345 UTC.
const WallTime kStarted = std::chrono::system_clock::from_time_t(1796819412) + std::chrono::milliseconds(345);
const LocalTime kLocalStart{.year = 2026, .month = 12, .day = 9, .hour = 15, .minute = 30, .second = 12};

RunSnapshot FinishedRun() {
  StationInfo station;
  station.version = {3, 2, 56};  // 2.3:56 is minor 3, major 2
  station.write_date = PackDateStamp({2017, 4, 0, 21, 10, 5, 2, 0});
  station.processor_serial = 42;
  station.bios = 5;
  station.monitor = 0x0103;
  station.ram_kb = 512;
  station.minimum_code_version = 0x0201;
  station.hardware_version_1 = 0x00010002;
  station.hardware_version_2 = 3;
  station.reserved_1 = 1;
  RunSnapshot run{.run_id = "0b9f6f3e-5c1a-4e2b-9d47-8f1c2a3b4c5d", .started = kStarted, .ended = kStarted + std::chrono::milliseconds(269630),
                  .elapsed_ms = 269630, .port_text = "5", .port = ComPort{5, "\\\\.\\COM5"},
                  .device = ComDevice{"/dev/ttyUSB0", ComSource::kSettingsFile}, .port_opened = true,
                  .step = {InstallStep::kProm}, .station = station, .station_fullpack = 0x9F,
                  .fullpack_needed = true, .fullpack_sent = true, .boxes = {{"Внимание!!! Процесс"_cp1251, "Внимание"_cp1251, true}},
                  .bytes_sent = 238645, .transfer_total = 238481, .requests_resent = 2, .blocks_resent = 1,
                  .last_error = "прием пакета не выполнен"_cp1251, .end = RunEnd::kInstalled,
                  .stopped_by = std::nullopt, .log_file = "2026-12-09_153012_COM5.log"};
  return run;
}

Json Parsed(const std::string& line) {
  EXPECT_EQ(line.find('\n'), line.size() - 1) << "one line, ended";
  return Json::parse(line);
}

TEST(RecordLine, HoldsWhatTheRunToldInItsFields) {
  const RecordFacts facts{.front_end = FrontEnd::kConsole, .host = "bench-pc", .user = "op"};
  Json record = Parsed(RecordLine(
      FinishedRun(), facts,
      {.usb = UsbIdentity{0x0403, 0x6001, "FTDI", "FT232R", "A6008isP"}, .recorded = kStarted,
       .log_file_complete = true}));
  record.erase("started");  // in local time, below
  record.erase("ended");
  // The release built in, as its first log line names it: 2.3:56 with
  // fullpack A0 in the default build, the second stand-in's in CI.
  const std::string release_line = test::ReleaseLine();
  const std::size_t release_at = release_line.rfind(' ') + 1;
  EXPECT_EQ(record["release"], release_line.substr(release_at, release_line.size() - 2 - release_at));
  EXPECT_EQ(record["release_fullpack"], test::HexText(test::BuiltInImage().FullpackVersionWord()));
  record.erase("release");
  record.erase("release_fullpack");
  EXPECT_EQ(record, Json::parse(R"({"format": 2, "run_id": "0b9f6f3e-5c1a-4e2b-9d47-8f1c2a3b4c5d",
      "program_version": "2.5:56", "duration_ms": 269630, "front_end": "console", "host": "bench-pc",
      "user": "op", "port_text": "5", "port_number": 5, "port_path": "\\\\.\\COM5",
      "device": "/dev/ttyUSB0", "device_source": "settings_file",
      "usb": {"vendor_id": "0403", "product_id": "6001", "serial_number": "A6008isP"},
      "station": {"held_code": true, "firmware": "2.3:56", "written": "2017-04-21T10:05:02",
                  "processor_serial": 42, "bios": 5, "monitor": 259, "ram_kb": 512,
                  "minimum_code_version": 513, "hardware_version_1": 65538, "hardware_version_2": 3,
                  "reboots_into_upgrader": true,
                  "logged": {"processor_serial": "00042", "bios": "0005", "monitor": "0103",
                             "ram_kb": "0200", "minimum_code_version": "0201",
                             "hardware_version_1": "00010002", "hardware_version_2": "00000003"}},
      "station_fullpack": "9F", "fullpack_needed": true, "fullpack_sent": true,
      "boxes": [{"caption": "Внимание", "text": "Внимание!!! Процесс", "answer": "ok"}],
      "outcome": "installed", "stopped_by": null, "last_error": "прием пакета не выполнен", "last_step": "prom",
      "bytes_sent": 238645, "transfer_total": 238481, "requests_resent": 2, "blocks_resent": 1,
      "log_file": "2026-12-09_153012_COM5.log", "log_file_complete": true})"));
}

// What a run that got nowhere leaves: nulls where nothing was learnt, and
// a port text from the command line that is not UTF-8 replaced, not lost.
TEST(RecordLine, RunThatLearntNothing) {
  RunSnapshot run;
  run.started = kStarted;
  run.port_text = "5\xff";
  run.end = RunEnd::kWrongPortText;
  const Json record =
      Parsed(RecordLine(run, {.front_end = FrontEnd::kWindow, .port_text_is_utf8 = true}, {.recorded = kStarted}));
  EXPECT_EQ(record["port_text"], "5\xEF\xBF\xBD");
  EXPECT_EQ(record["front_end"], "window");
  for (const char* none : {"port_number", "port_path", "device", "device_source", "usb", "station",
                           "station_fullpack", "last_error", "log_file"}) {
    EXPECT_TRUE(record[none].is_null()) << none;
  }
  EXPECT_EQ(record["boxes"], Json::array());
  EXPECT_EQ(record["last_step"], "port");
}

TEST(RecordLine, NamesEveryStep) {
  const std::vector<std::pair<StepAt, const char*>> steps = {
      {{InstallStep::kIdentify}, "identify"},          {{InstallStep::kConfirm}, "confirm"},
      {{InstallStep::kUpgraderMode}, "upgrader_mode"}, {{InstallStep::kFullpack}, "fullpack"},
      {{InstallStep::kHeader}, "header"},              {{InstallStep::kSegment, 12}, "segment 13"}};
  RunSnapshot run = FinishedRun();
  for (const auto& [step, name] : steps) {
    run.step = step;
    EXPECT_EQ(Parsed(RecordLine(run, {}, {.recorded = kStarted}))["last_step"], name);
  }
}

#if !defined(_WIN32)
// Local time with its offset, in the machine's time zone; a run the window
// left behind ends when its record is made.
TEST(RecordLine, TimesAreLocalWithTheirOffset) {
  const std::vector<std::tuple<const char*, const char*, const char*>> zones = {
      {"UTC0", "2026-12-09T12:30:12.345+00:00", "2026-12-09T12:34:41.975+00:00"},
      {"MSK-3", "2026-12-09T15:30:12.345+03:00", "2026-12-09T15:34:41.975+03:00"},
      {"NST+3:30", "2026-12-09T09:00:12.345-03:30", "2026-12-09T09:04:41.975-03:30"}};
  for (const auto& [zone, started, ended] : zones) {
    SCOPED_TRACE(zone);
    const test::ScopedEnv tz("TZ", zone);
    tzset();
    RunSnapshot run = FinishedRun();
    const Json record = Parsed(RecordLine(run, {}, {.recorded = kStarted}));
    EXPECT_EQ(record["started"], started);
    EXPECT_EQ(record["ended"], ended);
    run.ended.reset();
    run.end.reset();
    EXPECT_EQ(Parsed(RecordLine(run, {}, {.recorded = *FinishedRun().ended}))["ended"], ended);
  }
  tzset();
}
#endif

TEST(LogFile, NamedFromTheStartAndThePortNumberOnly) {
  const std::vector<std::pair<const char*, const char*>> names = {
      {"5", "COM5"},        {"007", "COM7"},   {"255", "COM255"},       {"", "noport"},
      {"1a", "noport"},     {"../5", "noport"}, {"5/../../x", "noport"}, {"256", "noport"}};
  for (const auto& [port_text, port] : names) {
    EXPECT_EQ(LogFileStem(kLocalStart, port_text), std::string("2026-12-09_153012_") + port) << port_text;
  }
}

TEST(LogFile, NeverOverwritesAndKeepsTheLogsBytesInUtf8) {
  TempDir folder;
  TempDir::Write(folder.File("2026-12-09_153012_COM5.log"), "an older run");
  Checked<LogFile> second = LogFile::Create(folder.Path(), kLocalStart, "5");
  Checked<LogFile> third = LogFile::Create(folder.Path(), kLocalStart, "5");
  ASSERT_TRUE(second && third) << second.Reason() << third.Reason();
  EXPECT_EQ(second->Name(), "2026-12-09_153012_COM5_2.log");
  EXPECT_EQ(third->Name(), "2026-12-09_153012_COM5_3.log");
  second->AppendLog("Получение версии боевого кода... "_cp1251);
  second->AppendLog("2.2:56\r\n"_cp1251);
  EXPECT_EQ(TempDir::Read(folder.File("2026-12-09_153012_COM5.log")), "an older run");
  EXPECT_EQ(TempDir::Read(folder.File(second->Name())), "Получение версии боевого кода... 2.2:56\r\n");
  EXPECT_FALSE(second->Problem());
}

// A torn last line is left out by readers, and the next record starts on a
// line of its own.
TEST(RecordsFile, TornLastLineIsSkippedAndTheNextRecordStartsANewLine) {
  struct Case {
    std::string before;
    std::vector<std::string> read_before;
    bool torn;
    std::string after;
  };
  const std::vector<Case> cases = {
      {"", {}, false, "{\"new\":1}\n"},
      {"{\"a\":1}\n", {"{\"a\":1}"}, false, "{\"a\":1}\n{\"new\":1}\n"},
      {"{\"a\":1}\n{\"b\":", {"{\"a\":1}"}, true, "{\"a\":1}\n{\"b\":\n{\"new\":1}\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.before);
    TempDir folder;
    const std::string file = folder.File("installations.jsonl");
    if (!c.before.empty()) TempDir::Write(file, c.before);
    const Checked<RecordLines> read = ReadRecordLines(file);
    ASSERT_TRUE(read) << read.Reason();
    EXPECT_EQ(read->lines, c.read_before);
    EXPECT_EQ(read->torn_last_line, c.torn);
    ASSERT_TRUE(AppendRecord(file, "{\"new\":1}\n"));
    EXPECT_EQ(TempDir::Read(file), c.after);
  }
}

// Two writers append long records at once while a reader reads again and
// again: the reader never meets half a record, and every record ends up
// whole on its own line. The reader leaves the file alone a moment between
// its reads, as readers do: one that holds it without a pause keeps a
// writer past its wait, whose record then goes to a side file.
TEST(RecordsFile, WritersAtOnceNeverMixTheirLinesAndReadersNeverSeeHalfOne) {
  TempDir folder;
  const std::string file = folder.File("installations.jsonl");
  constexpr int kRecordsEach = 20;
  constexpr std::size_t kLength = 256 * 1024;
  const auto writer = [&](char letter) {
    const std::string line = std::string(kLength, letter) + "\n";
    for (int i = 0; i < kRecordsEach; ++i) ASSERT_TRUE(AppendRecord(file, line));
  };
  std::atomic<bool> writing = true;
  int half_records_seen = 0;
  std::thread reader([&] {
    while (writing) {
      const Checked<RecordLines> read = ReadRecordLines(file);
      if (read && read->torn_last_line) ++half_records_seen;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  });
  std::thread a(writer, 'a');
  std::thread b(writer, 'b');
  a.join();
  b.join();
  writing = false;
  reader.join();
  EXPECT_EQ(half_records_seen, 0);

  const Checked<RecordLines> read = ReadRecordLines(file);
  ASSERT_TRUE(read && !read->torn_last_line);
  ASSERT_EQ(read->lines.size(), 2u * kRecordsEach);
  for (const std::string& line : read->lines) {
    ASSERT_EQ(line, std::string(kLength, line[0])) << "a line mixes two records";
  }
}

// Records of both formats, as this program, an older one or a script may
// have written them, with lines that are no records among them. The
// newest by its instant is the first by its text and in the main file; a
// side file's record sits among the others where its time puts it.
TEST(History, TableOfTheLastRecordsSkippingWhatIsNoRecord) {
  TempDir folder;
  const std::string file = folder.File("installations.jsonl");
  TempDir::Write(file,
      R"({"format":1,"release":"2.3:56","started":"2026-12-09T15:30:12.345+01:00","port_text":"5",)"
      R"("station":{"held_code":true,"firmware":"2.2:56","processor_serial":42},"fullpack_sent":true,)"
      R"("outcome":"installed","last_step":"prom","last_error":"прием пакета не выполнен",)"
      R"("duration_ms":269630,"log_file":"2026-12-09_153012_COM5.log"})" "\n"
      "not a record\n"
      R"({"format":2,"started":"x"})" "\n"
      R"({"format":"1","started":"x"})" "\n"
      R"({"format":2,"started":"2026-12-09T15:40:00","station":null,"fullpack_sent":false,)"
      R"("outcome":"installed","last_step":"prom","duration_ms":1})" "\n"
      R"({"format":1,"release":"2.3:56","started":"2026-12-09T16:00:00.000+01:00","port_text":"12",)"
      R"("station":{"held_code":false,"firmware":null,"processor_serial":7},"fullpack_sent":true,)"
      R"("outcome":"failed","last_step":"segment 12","last_error":"принят пакет с неправильной CRC",)"
      R"("duration_ms":61000,"log_file":"2026-12-09_160000_COM12.log"})" "\n"
      R"({"format":2,"release":"2.3:56","started":"2026-12-09T14:20:00.000-02:00","port_text":"7",)"
      R"("station":{"held_code":true,"firmware":"2.2:56","processor_serial":9},"fullpack_needed":true,)"
      R"("fullpack_sent":false,"outcome":"stopped","stopped_by":"ctrl_c","last_step":"fullpack",)"
      R"("last_error":null,"duration_ms":95000,"log_file":"2026-12-09_142000_COM7.log",)"
      R"("host":"bench-pc","user":"op","front_end":"console"})" "\n"
      R"({"format":2,"release":"2.3:56","started":"2026-12-09T16:10:00.000+01:00",)"
      R"("port_text":"1\n\u001b[2J\u009b","station":null,"fullpack_needed":false,"fullpack_sent":false,)"
      R"("outcome":"wrong_port_text","last_step":"port","last_error":"неправильный номер COM порта!",)"
      R"("duration_ms":3,"log_file":null})" "\n"
      R"({"format":1,"started":"2026-12)");
  TempDir::Write(folder.File("installations.0b9f6f3e-5c1a-4e2b-9d47-8f1c2a3b4c5d.jsonl"),
      R"({"format":2,"release":"2.3:56","started":"2026-12-09T16:05:00.000+01:00","port_text":"3",)"
      R"("station":{"held_code":true,"firmware":"2.2:56","processor_serial":42},"fullpack_needed":true,)"
      R"("fullpack_sent":true,"outcome":"installed","last_step":"prom","last_error":null,)"
      R"("duration_ms":270000,"log_file":"2026-12-09_160500_COM3.log"})" "\n");
  const std::string torn_side_file = folder.File("installations.1c2d3e4f-5c1a-4e2b-9d47-8f1c2a3b4c5d.jsonl");
  TempDir::Write(torn_side_file, R"({"format":2,"sta)");

  const Checked<History> all = ReadHistory(folder.Path(), {});
  ASSERT_TRUE(all) << all.Reason();
  EXPECT_EQ(all->table,
            "Started              Port              Station  Version          Fullpack  Outcome                  Duration  Log file                     Error\n"
            "2026-12-09 15:30:12  5                 00042    2.2:56 → 2.3:56  sent      installed                4:29      2026-12-09_153012_COM5.log   -\n"
            "2026-12-09 16:00:00  12                00007    no code → -      needed    failed at segment 13     1:01      2026-12-09_160000_COM12.log  принят пакет с неправильной CRC\n"
            "2026-12-09 16:05:00  3                 00042    2.2:56 → 2.3:56  sent      installed                4:30      2026-12-09_160500_COM3.log   -\n"
            "2026-12-09 16:10:00  1\\n\\x1b[2J\\u009b  -        - → -            -         wrong_port_text at port  0:00      -                            неправильный номер COM порта!\n"
            "2026-12-09 14:20:00  7                 00009    2.2:56 → -       not sent  stopped at fullpack      1:35      2026-12-09_142000_COM7.log   -\n");
  EXPECT_EQ(all->records, 5);
  EXPECT_EQ(all->skipped, (std::vector<SkippedLines>{{file, 4, true}, {torn_side_file, 0, true}}));

  const Checked<History> last = ReadHistory(folder.Path(), {.last = 1, .wide = true});
  ASSERT_TRUE(last);
  EXPECT_EQ(last->table,
            "Started              Port  Station  Version     Fullpack  Outcome              Duration  Log file                    Error  Host      User  Front end  Stopped by  Log path\n"
            "2026-12-09 14:20:00  7     00009    2.2:56 → -  not sent  stopped at fullpack  1:35      2026-12-09_142000_COM7.log  -      bench-pc  op    console    ctrl_c      " +
                folder.File("2026-12-09_142000_COM7.log") + "\n");

  const Checked<History> station = ReadHistory(folder.Path(), {.station = StationSerialOfText("00042")});
  ASSERT_TRUE(station);
  EXPECT_EQ(station->records, 2);

  const Checked<History> none = ReadHistory(folder.File("missing"), {});
  ASSERT_TRUE(none);
  EXPECT_EQ(none->records, 0);
}

TEST(History, StationSerialOfTextTakesAnyLeadingZerosUpTo32Bits) {
  const std::vector<std::pair<const char*, std::optional<std::uint32_t>>> texts = {
      {"42", 42u},          {"000000000042", 42u}, {"4294967295", 4294967295u},
      {"4294967296", {}},   {"4x2", {}},           {"", {}}};
  for (const auto& [text, serial] : texts) {
    const auto found = StationSerialOfText(text);
    EXPECT_EQ(found ? std::optional<std::uint32_t>(*found) : std::nullopt, serial) << text;
  }
}

#if !defined(_WIN32)
TEST(RecordsFolder, InstalledProgramKeepsItsRecordsInTheUsersStateFolder) {
  const std::string fallback = "/home/op/.local/state/zelt20/records";
  const std::vector<std::tuple<const char*, const char*, std::optional<std::string>>> cases = {
      {"/state", "/home/op", "/state/zelt20/records"}, {nullptr, "/home/op", fallback},
      {"", "/home/op", fallback},                       {"relative", "/home/op", fallback},
      {nullptr, nullptr, std::nullopt}};
  for (const auto& [state, home, folder] : cases) {
    const std::optional<std::filesystem::path> found = UserRecordsFolder(state, home);
    EXPECT_EQ(found ? std::optional<std::string>(found->string()) : std::nullopt, folder);
  }
}
#endif

}  // namespace
}  // namespace zelt20
