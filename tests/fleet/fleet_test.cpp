// The fleet database against a real server: how each kind of broken
// connection is told, what --fleet answers over a few known runs, and two
// records folders (two PCs) syncing into one database at once.
#include <gtest/gtest.h>

#include <fstream>
#include <future>
#include <string>
#include <variant>
#include <vector>

#include "fleet/fleet_connections.h"
#include "fleet/fleet_questions.h"
#include "fleet/fleet_store.h"
#include "fleet/fleet_sync.h"
#include "fleet/stable_run_id.h"
#include "tests/fleet/fleet_test_database.h"
#include "tests/support/temp_dir.h"

namespace zelt20::test {
namespace {

// A connection string with one attribute's value replaced.
std::string With(std::string connection, const std::string& key, const std::string& value) {
  const std::size_t at = connection.find(key + "=");
  const std::size_t end = connection.find(';', at);
  return connection.replace(at + key.size() + 1, end - at - key.size() - 1, value);
}

std::string ValueOf(const std::string& connection, const std::string& key) {
  const std::size_t at = connection.find(key + "=") + key.size() + 1;
  return connection.substr(at, connection.find(';', at) - at);
}

struct Run {
  std::string id;
  std::string serial;  // "null" when the station was not identified
  std::string firmware;
  std::string outcome;
  std::string last_step;
  std::string started;
  std::string host;
};

// A format 2 record line as the installer writes it, with the fields the
// database reads.
std::string RecordLine(const Run& run) {
  const std::string station =
      run.serial == "null" ? "null"
                           : R"({"held_code":true,"firmware":")" + run.firmware + R"(","processor_serial":)" +
                                 run.serial + "}";
  return R"({"format":2,"run_id":")" + run.id + R"(","release":"2.3:56","started":")" + run.started +
         R"(","ended":")" + run.started + R"(","duration_ms":1000,"front_end":"console","host":")" + run.host +
         R"(","user":"op","port_text":"3","station":)" + station + R"(,"fullpack_sent":false,"outcome":")" +
         run.outcome + R"(","last_step":")" + run.last_step + R"(","last_error":null,"log_file":")" + run.id +
         R"(.log"})";
}

void Write(const std::filesystem::path& file, const std::string& text) {
  std::ofstream(file, std::ios::binary) << text;
}

TEST(FleetConnections, EnvironmentBeforeConfigIniAndNeverCut) {
  const TempDir folder;
  const std::string settings = folder.File("config.ini");
  const std::string long_value = "DSN=" + std::string(196, 'x');  // 200 characters
  struct Row {
    const char* what;
    const char* upload_variable;
    const char* query_variable;
    std::string ini;
    std::optional<std::string> upload, query;  // none of both: refused
  };
  const std::vector<Row> rows = {
      {"nothing", nullptr, nullptr, "", std::nullopt, std::nullopt},
      {"ini only, query falls back", nullptr, nullptr, "[fleet]\nconnection=DSN=up\n", "DSN=up", "DSN=up"},
      {"environment wins", "DSN=env", "DSN=ask", "[Fleet]\nconnection=DSN=up\nquery=DSN=q\n", "DSN=env", "DSN=ask"},
      {"ini too long", nullptr, nullptr, "[fleet]\nquery=" + long_value + "\n", std::nullopt, std::nullopt},
      {"199 characters taken", nullptr, nullptr, "[fleet]\nconnection=" + long_value.substr(1) + "\n",
       long_value.substr(1), long_value.substr(1)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Write(settings, row.ini);
    const Checked<FleetConnections> fleet = ConfiguredFleet(
        [&](const char* name) {
          return std::string_view(name) == "ZELT20_FLEET" ? row.upload_variable : row.query_variable;
        },
        settings);
    if (row.ini.find(long_value) != std::string::npos) {
      EXPECT_EQ(fleet.Reason(),
                "the value of query in section [fleet] of config.ini is longer than 199 characters; "
                "name an ODBC data source (DSN=...) there instead");
      continue;
    }
    ASSERT_TRUE(fleet) << fleet.Reason();
    EXPECT_EQ(fleet->upload, row.upload);
    EXPECT_EQ(fleet->query, row.query);
  }
}

TEST(FleetTexts, AnOlderRecordsIdIsItsLinesUuidAndPasswordsAreHidden) {
  EXPECT_EQ(StableRunId(R"({"format":1,"outcome":"installed"})"), "0eb26138-052e-5990-8ef3-02e0f87e51ef");
  EXPECT_EQ(StableRunId(""), "420f2a16-2ddb-5d3f-aa4f-b85d54366ecd");
  EXPECT_EQ(WithoutPasswords("x s3cret y a;b", "Driver={D};PWD=s3cret;Password={a;b};"), "x *** y ***");
}

TEST(FleetConnection, EachFaultIsToldByItsCauseWithoutThePassword) {
  const FleetTestDatabase db = FleetTestDatabase::Create("faults");
  using Cause = FleetFailure::Cause;
  struct Row {
    const char* what;
    std::string connection;
    bool ask;  // a question rather than an upload
    Cause cause;
    std::string words;
  };
  const std::vector<Row> rows = {
      {"wrong password", With(db.upload, "Pwd", "not-the-password"), false, Cause::kLoginRefused,
       "the fleet database refused the login: "},
      {"nothing listens", With(db.upload, "Port", "1"), false, Cause::kUnreachable,
       "the fleet database cannot be reached: "},
      {"no such data source", "DSN=zelt20-no-such-source;Pwd=not-the-password", false, Cause::kUnreachable,
       "the fleet connection names no ODBC data source or driver here: "},
      {"no schema", With(db.admin, "Database", "postgres"), false, Cause::kNoSchema,
       "the fleet database has no zelt20 schema: apply schema.sql to it ("},
      {"reader uploads", db.query, false, Cause::kNotAllowed, "the fleet connection may not insert runs: "},
      {"uploader asks", db.upload, true, Cause::kNotAllowed, "the fleet connection may not read runs: "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    std::variant<FleetStore, FleetFailure> connected = FleetStore::Connect(row.connection);
    if (auto* store = std::get_if<FleetStore>(&connected)) {
      if (row.ask) {
        connected = std::get<FleetFailure>(AskFleet(*store, AllStations{}));
      } else {
        const auto stored = store->Store({{"6f1c2a9e-0000-4000-8000-000000000001", "{}", std::nullopt}});
        ASSERT_TRUE(std::holds_alternative<FleetFailure>(stored));
        connected = std::get<FleetFailure>(stored);
      }
    }
    const FleetFailure& failure = std::get<FleetFailure>(connected);
    EXPECT_EQ(failure.cause, row.cause) << failure.reason;
    EXPECT_EQ(failure.reason.substr(0, row.words.size()), row.words) << failure.reason;
    EXPECT_EQ(failure.reason.find(ValueOf(row.connection, "Pwd")), std::string::npos) << failure.reason;
  }
}

// Stations 1..4 of two PCs: 1 installed on pc-a after a failure on pc-b,
// 2 failed in the transfer, 3 declined at the box on 2.2:50, 4 installed;
// a run that reached no station.
TEST(FleetSync, TwoFoldersSyncingAtOnceStoreEachRunOnceAndAnswerTheQuestions) {
  const FleetTestDatabase db = FleetTestDatabase::Create("two_pcs");
  const TempDir pc_a, pc_b;
  const std::string first_line = RecordLine({"00000000-0000-4000-8000-0000000000a1", "1", "2.2:50", "installed",
                                             "prom", "2026-12-01T10:00:00+00:00", "pc-a"});
  Write(pc_a.Path() / "installations.jsonl",
        first_line + "\n" +
            RecordLine({"00000000-0000-4000-8000-0000000000a2", "2", "2.2:50", "failed", "segment 3",
                        "2026-12-01T11:00:00+00:00", "pc-a"}) +
            "\n" + R"({"format":2,"run_id":"00000000-0000-4000-8000-0000000000a3","release":"2.3)");
  Write(pc_a.Path() / "00000000-0000-4000-8000-0000000000a1.log", "log of a1\r\n");
  // An older installer's record, without run_id.
  const std::string format_1 =
      R"({"format":1,"release":"2.3:56","started":"2026-12-02T09:00:00+00:00","ended":"2026-12-02T09:00:00+00:00",)"
      R"("duration_ms":5,"front_end":"window","host":"pc-a","user":"op","port_text":"x","station":null,)"
      R"("fullpack_sent":false,"outcome":"wrong_port_text","last_step":"port","last_error":null})";
  Write(pc_a.Path() / "installations.00000000-0000-4000-8000-0000000000a4.jsonl", format_1 + "\n");
  Write(pc_b.Path() / "installations.jsonl",
        RecordLine({"00000000-0000-4000-8000-0000000000b1", "1", "2.2:50", "failed", "header",
                    "2026-11-30T08:00:00+00:00", "pc-b"}) +
            "\n" +
            RecordLine({"00000000-0000-4000-8000-0000000000b2", "3", "2.2:50", "declined", "confirm",
                        "2026-12-01T12:00:00+00:00", "pc-b"}) +
            "\n" +
            RecordLine({"00000000-0000-4000-8000-0000000000b3", "4", "2.2:50", "installed", "prom",
                        "2026-12-01T13:00:00+00:00", "pc-b"}) +
            "\n" +
            RecordLine({"00000000-0000-4000-8000-0000000000b4", "5", "2.2:50", "installed", "prom",
                        "not a time", "pc-b"}) +
            "\n");

  // pc-a twice at once, pc-b beside them.
  auto a1 = std::async(std::launch::async, [&] { return SyncRecordsFolder(pc_a.Path(), db.upload); });
  auto a2 = std::async(std::launch::async, [&] { return SyncRecordsFolder(pc_a.Path(), db.upload); });
  const SyncReport b = SyncRecordsFolder(pc_b.Path(), db.upload);
  const SyncReport first = a1.get(), second = a2.get();
  EXPECT_EQ(SyncLine(b), "uploaded 3, already there 0, refused 1, pending 0");
  EXPECT_FALSE(first.failure || second.failure || b.failure);
  EXPECT_EQ(first.uploaded + second.uploaded, 3);
  EXPECT_EQ(first.uploaded + first.already_there + second.uploaded + second.already_there, 6);
  EXPECT_EQ(Psql(db, "SELECT run_id, station_serial, host, log_text FROM zelt20.runs ORDER BY run_id"),
            "00000000-0000-4000-8000-0000000000a1|1|pc-a|log of a1\r\n\n"
            "00000000-0000-4000-8000-0000000000a2|2|pc-a|\n"
            "00000000-0000-4000-8000-0000000000b1|1|pc-b|\n"
            "00000000-0000-4000-8000-0000000000b2|3|pc-b|\n"
            "00000000-0000-4000-8000-0000000000b3|4|pc-b|\n"
            // The older record's id: a version 5 UUID of its line.
            "3cf30c15-f367-5c86-8453-324eb6cf1c77||pc-a|\n");
  // Nothing is sent again, the refused record included.
  EXPECT_EQ(SyncLine(SyncRecordsFolder(pc_a.Path(), db.upload)), "uploaded 0, already there 0, refused 0, pending 0");
  EXPECT_EQ(SyncLine(SyncRecordsFolder(pc_b.Path(), db.upload)), "uploaded 0, already there 0, refused 0, pending 0");

  FleetStore reader = std::move(std::get<FleetStore>(FleetStore::Connect(db.query)));
  struct Question {
    FleetQuestion asked;
    std::string table;
  };
  const std::vector<Question> questions = {
      {AllStations{},
       "station  release  last run   last step  ended                host\n"
       "00001    2.3:56   installed  prom       2026-12-01 10:00:00  pc-a\n"
       "00002    unknown  failed     segment 3  2026-12-01 11:00:00  pc-a\n"
       "00003    2.2:50   declined   confirm    2026-12-01 12:00:00  pc-b\n"
       "00004    2.3:56   installed  prom       2026-12-01 13:00:00  pc-b\n"},
      {StationsNotOn{"2.3:56"},
       "station  release  last run  last step  ended                host\n"
       "00002    unknown  failed    segment 3  2026-12-01 11:00:00  pc-a\n"
       "00003    2.2:50   declined  confirm    2026-12-01 12:00:00  pc-b\n"
       "2 of 4 stations are not on 2.3:56\n"},
      {StationRuns{1},
       "started              host  port  before  release  outcome    last step  error\n"
       "2026-12-01 10:00:00  pc-a  3     2.2:50  2.3:56   installed  prom       -\n"
       "2026-11-30 08:00:00  pc-b  3     2.2:50  2.3:56   failed     header     -\n"},
      {StationRuns{9}, "No run of that station in the fleet database\n"},
      {FailedRuns{},
       "release  last step  runs\n"
       "2.3:56   confirm    1\n"
       "2.3:56   header     1\n"
       "2.3:56   segment 3  1\n"},
  };
  for (const Question& question : questions) {
    const auto answer = AskFleet(reader, question.asked);
    ASSERT_TRUE(std::holds_alternative<FleetAnswer>(answer)) << std::get<FleetFailure>(answer).reason;
    EXPECT_EQ(std::get<FleetAnswer>(answer).table + std::get<FleetAnswer>(answer).count_line, question.table);
  }
}

}  // namespace
}  // namespace zelt20::test
