// The fleet database against a real PostgreSQL server: how fast the console
// installer uploads a records folder, and how fast it answers questions
// about a large fleet.
//
// 1. A records folder of RECORDS format 2 records (default 10,000), each
//    with its own run_id (a version 4 UUID) and a station serial drawn over
//    0..65535, and a log file each, a successful run's log as the installer
//    writes it (tests/data/installation_success.log filled in, about 2.5 KB).
//    Timed: `zelt20-install --sync --records DIR` with every record pending,
//    again with nothing pending, and again with the folder's note of what
//    went (fleet-delivered.txt) removed, so that every insert meets a run
//    already there (ON CONFLICT DO NOTHING).
// 2. A database of RUNS runs (default 1,000,000) of 65,536 stations, made
//    on the server by bench/fleet_runs.sql through the insert triggers, as
//    uploads would make it. Timed, as processes started from the command
//    line: `zelt20-install --fleet --station SERIAL` (one station's runs,
//    goal 50 ms) and `zelt20-install --fleet --release 2.3:56` (the
//    stations not on it, goal 1 s), one unmeasured run each and then
//    kRepetitions measured; and the server's own time for the same SQL
//    (EXPLAIN ANALYZE: planning and execution), so that the process's
//    start-up and connection stand apart.
//
// The server is a private cluster in a temporary folder (tests/fleet/
// postgres.sh, fsync off as for the tests), started here and stopped, with
// the folder removed, however the bench ends: an exception, Ctrl-C, SIGTERM.
// Usage: fleet_bench [RECORDS [RUNS]]. Prints the figures and their ratios
// to the goals. No assertions: the figures depend on the machine and its
// load.
#include <signal.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "fleet/fleet_questions.h"
#include "tests/support/child_process.h"

namespace zelt20::bench {
namespace {

using Clock = std::chrono::steady_clock;
using test::ChildProcess;

constexpr int kDefaultRecords = 10'000;
constexpr int kDefaultRuns = 1'000'000;
constexpr int kRepetitions = 5;
constexpr int kExitUsage = 64;
constexpr std::uint32_t kAskedStation = 4242;
constexpr const char* kAskedRelease = "2.3:56";
constexpr double kStationGoalMs = 50;
constexpr double kReleaseGoalMs = 1000;
constexpr std::chrono::minutes kProgramLimit{15};

// The statements a question runs, as the program runs them, with their
// parameters written in as literals for EXPLAIN.
std::vector<std::string> SqlOf(const zelt20::FleetQuestion& question) {
  std::vector<std::string> statements;
  for (const zelt20::FleetStatement& statement : zelt20::StatementsOf(question)) {
    std::string sql;
    std::size_t parameter = 0;
    for (const char c : statement.sql) {
      if (c == '?') {
        sql += '\'';
        sql += statement.parameters.at(parameter++).value_or("");
        sql += '\'';
      } else {
        sql += c;
      }
    }
    statements.push_back(sql);
  }
  return statements;
}

// ---------------------------------------------------------------- server

// The bench's temporary folder and its cluster's, for the signal handler:
// it stops the server and removes the folder with nothing but
// async-signal-safe calls.
char g_script[4096];
char g_folder[4096];
char g_server_dir[4096];

// Runs a program to its end; nothing when it cannot be started.
void RunAndWait(char* const args[]) {
  const pid_t pid = fork();
  if (pid == 0) {
    execv(args[0], args);
    _exit(127);
  }
  if (pid > 0) {
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
}

void StopServerNow() {
  if (g_server_dir[0] == '\0') return;
  char stop[] = "stop";
  char* const args[] = {g_script, stop, g_server_dir, nullptr};
  RunAndWait(args);
}

extern "C" void OnEndSignal(int signal_number) {
  StopServerNow();
  if (g_folder[0] != '\0') {
    char rm[] = "/bin/rm";
    char options[] = "-rf";
    char* const args[] = {rm, options, g_folder, nullptr};
    RunAndWait(args);
  }
  _exit(128 + signal_number);
}

// A program's end, with what it wrote; throws when it fails.
struct Finished {
  test::ChildEnd end;
  std::string out;
  std::string err;
  double wall_seconds = 0;
};

Finished RunProgram(const std::string& program, const std::vector<std::string>& args,
                    const ChildProcess::Variables& variables = {}) {
  const Clock::time_point start = Clock::now();
  ChildProcess child(program, args, variables);
  const std::optional<test::ChildEnd> end = child.WaitForEnd(kProgramLimit);
  if (!end) throw std::runtime_error(program + " did not end within 15 minutes");
  Finished finished{*end, child.Out(), child.Err(),
                    std::chrono::duration<double>(end->at - start).count()};
  return finished;
}

std::string Described(const std::vector<std::string>& args) {
  std::string text;
  for (const std::string& arg : args) text += (text.empty() ? "" : " ") + arg;
  return text;
}

Finished Succeeded(Finished finished, const std::string& program, const std::vector<std::string>& args) {
  if (!finished.end.Succeeded()) {
    throw std::runtime_error(program + " " + Described(args) + " ended with " +
                             std::to_string(finished.end.ExitCode()) + ":\n" + finished.err + finished.out);
  }
  return finished;
}

struct Database {
  std::string admin;
  std::string upload;
  std::string query;
};

// The bench's temporary folder, removed with everything in it when this
// goes. Open to all: as root the server runs as the user postgres.
class TempFolder {
 public:
  TempFolder() {
    char made[] = "/tmp/zelt20-fleet-bench-XXXXXX";
    if (mkdtemp(made) == nullptr) throw std::runtime_error("cannot make a temporary folder in /tmp");
    path_ = made;
    std::snprintf(g_folder, sizeof g_folder, "%s", made);
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all | std::filesystem::perms::group_read |
                                            std::filesystem::perms::group_exec | std::filesystem::perms::others_read |
                                            std::filesystem::perms::others_exec);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  ~TempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
    g_folder[0] = '\0';
  }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The private cluster; stopped, and its folder removed, when this goes.
class Server {
 public:
  Server() {
    const std::string server_dir = (folder_.Path() / "pg").string();
    std::snprintf(g_script, sizeof g_script, "%s", ZELT20_FLEET_PG_SCRIPT);
    std::snprintf(g_server_dir, sizeof g_server_dir, "%s", server_dir.c_str());
    // The drivers' registration without their logs in /tmp, for every child.
    setenv("ODBCSYSINI", server_dir.c_str(), 1);
    try {
      Script({"start", server_dir});
    } catch (...) {
      Stop();  // a start that failed half way
      throw;
    }
  }
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  ~Server() { Stop(); }

  const std::filesystem::path& Folder() const { return folder_.Path(); }

  Database Create(const std::string& name) const {
    const Finished made = Script({"createdb", g_server_dir, name});
    Database database;
    std::istringstream lines(made.out);
    for (std::string line; std::getline(lines, line);) {
      if (line.starts_with("admin=")) database.admin = line.substr(6);
      if (line.starts_with("upload=")) database.upload = line.substr(7);
      if (line.starts_with("query=")) database.query = line.substr(6);
    }
    if (database.admin.empty() || database.upload.empty() || database.query.empty()) {
      throw std::runtime_error("postgres.sh createdb printed no connection strings:\n" + made.out);
    }
    return database;
  }

  // psql as the administrator, unaligned rows without headers; its output.
  Finished Psql(const Database& database, std::vector<std::string> args) const {
    std::vector<std::string> all = {"psql", g_server_dir, database.admin, "-X", "-q", "-At", "-v", "ON_ERROR_STOP=1"};
    all.insert(all.end(), args.begin(), args.end());
    return Script(all);
  }
  std::string Sql(const Database& database, const std::string& sql) const { return Psql(database, {"-c", sql}).out; }

 private:
  static Finished Script(const std::vector<std::string>& args) {
    return Succeeded(RunProgram(ZELT20_FLEET_PG_SCRIPT, args), "postgres.sh", args);
  }
  static void Stop() {
    StopServerNow();
    g_server_dir[0] = '\0';
  }

  TempFolder folder_;
};

// ---------------------------------------------------------------- records

std::string Read(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + file.string());
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void Write(const std::filesystem::path& file, const std::string& text) {
  std::ofstream out(file, std::ios::binary);
  out << text;
  if (!out.flush()) throw std::runtime_error("cannot write " + file.string());
}

void ReplaceAll(std::string& text, std::string_view from, std::string_view to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

std::string Hex(std::uint64_t value, int digits) {
  std::string text(static_cast<std::size_t>(digits), '0');
  for (int i = digits - 1; i >= 0; --i, value >>= 4) text[static_cast<std::size_t>(i)] = "0123456789abcdef"[value & 15];
  return text;
}

std::string UuidV4(std::mt19937_64& random) {
  const std::uint64_t high = (random() & ~0xf000ULL) | 0x4000ULL;  // version 4
  const std::uint64_t low = (random() & ~(3ULL << 62)) | (2ULL << 62);  // variant 10
  return Hex(high >> 32, 8) + "-" + Hex((high >> 16) & 0xffff, 4) + "-" + Hex(high & 0xffff, 4) + "-" +
         Hex(low >> 48, 4) + "-" + Hex(low & 0xffffffffffffULL, 12);
}

std::string TwoDigits(unsigned value) { return std::string{char('0' + value / 10 % 10), char('0' + value % 10)}; }

// A local time k * 7 minutes after 2026-01-05 08:00, as the record's times
// and the log file's name write it.
struct LocalTime {
  std::string iso;   // 2026-01-05T08:00:00
  std::string name;  // 2026-01-05_080000
};
LocalTime TimeOfRun(int k, std::chrono::seconds after = {}) {
  using namespace std::chrono;
  const sys_seconds at = sys_days{year{2026} / January / 5} + hours{8} + minutes{7 * k} + after;
  const sys_days day = floor<days>(at);
  const year_month_day date{day};
  const hh_mm_ss time{at - day};
  const std::string ymd = std::to_string(int(date.year())) + "-" + TwoDigits(unsigned(date.month())) + "-" +
                          TwoDigits(unsigned(date.day()));
  const auto h = unsigned(time.hours().count()), m = unsigned(time.minutes().count()),
             s = unsigned(time.seconds().count());
  return {ymd + "T" + TwoDigits(h) + ":" + TwoDigits(m) + ":" + TwoDigits(s),
          ymd + "_" + TwoDigits(h) + TwoDigits(m) + TwoDigits(s)};
}

// The log of a successful run (fullpack not needed) on a station of
// serial 00042, as the tests expect it, with its blanks filled in.
std::string LogTemplate() {
  std::string log = Read(ZELT20_SUCCESS_LOG);
  ReplaceAll(log, "{program_version}", "2.5:56");
  ReplaceAll(log, "{station_version}", "2.2:50");
  ReplaceAll(log, "{fullpack_version}", "A0");
  for (int segment = 26; segment >= 0; --segment) {
    ReplaceAll(log, "{address_" + std::to_string(segment) + "}", Hex(0x10000U + 0x2000U * unsigned(segment), 5));
  }
  return log;
}

// One record line of a successful console run, format 2, as the installer
// writes it.
std::string RecordLine(const std::string& run_id, std::uint32_t serial, int port, const LocalTime& started,
                       const LocalTime& ended, const std::string& log_file) {
  char logged_serial[8];
  std::snprintf(logged_serial, sizeof logged_serial, "%05u", unsigned(serial));
  const std::string port_text = std::to_string(port);
  return R"({"format":2,"run_id":")" + run_id +
         R"(","program_version":"2.5:56","release":"2.3:56","release_fullpack":"A0","started":")" + started.iso +
         R"(.250+03:00","ended":")" + ended.iso + R"(.880+03:00","duration_ms":269630,"front_end":"console",)" +
         R"("host":"line3-pc","user":"op","port_text":")" + port_text + R"(","port_number":)" + port_text +
         R"(,"port_path":"\\\\.\\COM)" + port_text + R"(","device":"/dev/ttyUSB)" + std::to_string(port - 1) +
         R"(","device_source":"settings_file","usb":{"vendor_id":"0403","product_id":"6001","serial_number":"A6008isP"},)" +
         R"("station":{"held_code":true,"firmware":"2.2:50","written":"2017-04-21T10:05:02","processor_serial":)" +
         std::to_string(serial) +
         R"(,"bios":5,"monitor":259,"ram_kb":512,"minimum_code_version":513,"hardware_version_1":65538,)" +
         R"("hardware_version_2":3,"reboots_into_upgrader":true,"logged":{"processor_serial":")" + logged_serial +
         R"(","bios":"0005","monitor":"0103","ram_kb":"0200","minimum_code_version":"0201",)" +
         R"("hardware_version_1":"00010002","hardware_version_2":"00000003"}},"station_fullpack":"A0",)" +
         R"("fullpack_needed":false,"fullpack_sent":false,"boxes":[{"caption":"Внимание","text":"Внимание!!! Процесс",)" +
         R"("answer":"ok"}],"outcome":"installed","stopped_by":null,"last_error":null,"last_step":"prom",)" +
         R"("bytes_sent":238645,"transfer_total":238481,"requests_resent":0,"blocks_resent":0,"log_file":")" +
         log_file + R"(","log_file_complete":true})";
}

struct FolderSize {
  std::uintmax_t record_bytes = 0;  // installations.jsonl
  std::uintmax_t log_bytes = 0;     // the log files together
};

FolderSize MakeRecordsFolder(const std::filesystem::path& folder, int records) {
  std::filesystem::create_directories(folder);
  const std::string log = LogTemplate();
  std::mt19937_64 random{std::random_device{}()};
  std::uniform_int_distribution<std::uint32_t> serials(0, 65535);
  std::string lines;
  FolderSize size;
  for (int k = 0; k < records; ++k) {
    const std::uint32_t serial = serials(random);
    const int port = 1 + k % 8;
    const LocalTime started = TimeOfRun(k);
    const std::string log_file = started.name + "_COM" + std::to_string(port) + ".log";
    std::string text = log;
    char logged_serial[8];
    std::snprintf(logged_serial, sizeof logged_serial, "%05u", unsigned(serial));
    ReplaceAll(text, "00042", logged_serial);
    ReplaceAll(text, "\\\\.\\COM1", "\\\\.\\COM" + std::to_string(port));
    Write(folder / log_file, text);
    size.log_bytes += text.size();
    lines += RecordLine(UuidV4(random), serial, port, started, TimeOfRun(k, std::chrono::seconds{269}), log_file);
    lines += '\n';
  }
  Write(folder / "installations.jsonl", lines);
  size.record_bytes = lines.size();
  return size;
}

// ---------------------------------------------------------------- figures

struct Spread {
  double median = 0;
  double worst = 0;
};
Spread SpreadOf(std::vector<double> values) {
  if (values.empty()) return {};
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median = n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.back()};
}

std::string FirstLine(const std::string& text) { return text.substr(0, text.find('\n')); }

std::string Grouped(long long value) {
  const std::string digits = std::to_string(value);
  std::string grouped;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) grouped += ',';
    grouped += digits[i];
  }
  return grouped;
}

struct SyncFigure {
  const char* what;
  bool sent = true;  // false: nothing was pending
  double wall_seconds = 0;
  double cpu_seconds = 0;
  std::string said;
};

SyncFigure Sync(const char* what, bool sent, const std::filesystem::path& folder, const Database& database) {
  const std::vector<std::string> args = {"--sync", "--records", folder.string()};
  const Finished done = Succeeded(RunProgram(ZELT20_INSTALL_PROGRAM, args, {{"ZELT20_FLEET", database.upload}}),
                                  "zelt20-install", args);
  return {what, sent, done.wall_seconds, done.end.CpuSeconds(), FirstLine(done.out)};
}

// Milliseconds of planning and execution that EXPLAIN ANALYZE reports.
double ServerMs(const std::string& explained) {
  double total = 0;
  for (const std::string_view label : {"Planning Time: ", "Execution Time: "}) {
    const std::size_t at = explained.find(label);
    if (at == std::string::npos) throw std::runtime_error("EXPLAIN ANALYZE said no " + std::string(label));
    const char* first = explained.data() + at + label.size();
    double ms = 0;
    std::from_chars(first, explained.data() + explained.size(), ms);
    total += ms;
  }
  return total;
}

struct QuestionFigure {
  std::string asked;
  double goal_ms = 0;
  int rows = 0;  // the answer's rows
  Spread process_ms;
  Spread server_ms;
};

// `other_lines`: the lines the answer prints besides its rows (the header,
// a count line).
QuestionFigure Ask(const Server& server, const Database& database, const std::vector<std::string>& args,
                   const std::vector<std::string>& sql, int other_lines, double goal_ms) {
  QuestionFigure figure{"zelt20-install " + Described(args), goal_ms, 0, {}, {}};
  const ChildProcess::Variables variables = {{"ZELT20_FLEET_QUERY", database.query}};
  std::vector<double> process_ms;
  std::vector<double> server_ms;
  for (int run = 0; run <= kRepetitions; ++run) {
    const Finished done = Succeeded(RunProgram(ZELT20_INSTALL_PROGRAM, args, variables), "zelt20-install", args);
    figure.rows = int(std::count(done.out.begin(), done.out.end(), '\n')) - other_lines;
    double ms = 0;
    for (const std::string& statement : sql) {
      ms += ServerMs(server.Sql(database, "EXPLAIN (ANALYZE, BUFFERS) " + statement));
    }
    if (run == 0) continue;  // the first run fills the caches
    process_ms.push_back(done.wall_seconds * 1000);
    server_ms.push_back(ms);
  }
  figure.process_ms = SpreadOf(process_ms);
  figure.server_ms = SpreadOf(server_ms);
  return figure;
}

void PrintLoad(const char* when) {
  double load[3] = {};
  if (getloadavg(load, 3) == 3) std::printf("load average %s: %.2f %.2f %.2f\n", when, load[0], load[1], load[2]);
  std::fflush(stdout);
}

void Say(const char* text) {
  std::printf("%s\n", text);
  std::fflush(stdout);
}

int RunBench(int records, int runs) {
  std::printf("ZELT20 fleet benchmark: %s records uploaded, questions over %s runs of 65,536 stations\n",
              Grouped(records).c_str(), Grouped(runs).c_str());
  PrintLoad("at the start");
  const Server server;
  std::printf("private PostgreSQL server in %s\n\n", server.Folder().c_str());

  // 1. Uploads.
  const Database uploads = server.Create("bench_upload");
  const std::filesystem::path folder = server.Folder() / "records";
  const FolderSize size = MakeRecordsFolder(folder, records);
  std::printf("records folder: %s records and log files, %.1f MB\n", Grouped(records).c_str(),
              double(size.record_bytes + size.log_bytes) / 1e6);
  std::fflush(stdout);
  std::vector<SyncFigure> syncs;
  syncs.push_back(Sync("all pending", true, folder, uploads));
  syncs.push_back(Sync("nothing pending", false, folder, uploads));
  std::filesystem::remove(folder / "fleet-delivered.txt");
  syncs.push_back(Sync("all already there", true, folder, uploads));
  const std::string stored = server.Sql(uploads, "SELECT count(*), pg_size_pretty(pg_total_relation_size('zelt20.runs')) "
                                                 "FROM zelt20.runs");

  // 2. A large fleet, made on the server.
  const Database fleet = server.Create("bench_fleet");
  Say("\nmaking the fleet's runs on the server ...");
  const Finished made = server.Psql(fleet, {"-v", "runs=" + std::to_string(runs), "-f", ZELT20_FLEET_RUNS_SQL});
  const Finished analyzed = server.Psql(fleet, {"-c", "VACUUM ANALYZE"});
  const std::string fleet_size =
      server.Sql(fleet, "SELECT (SELECT count(*) FROM zelt20.runs), (SELECT count(*) FROM zelt20.station_latest), "
                        "(SELECT count(*) FROM zelt20.station_state WHERE release_held <> '2.3:56'), "
                        "pg_size_pretty(pg_database_size(current_database()))");
  PrintLoad("before the questions");
  const std::string station = std::to_string(kAskedStation);
  const std::vector<QuestionFigure> questions = {
      Ask(server, fleet, {"--fleet", "--station", station}, SqlOf(zelt20::StationRuns{kAskedStation}), 1, kStationGoalMs),
      Ask(server, fleet, {"--fleet", "--release", kAskedRelease}, SqlOf(zelt20::StationsNotOn{kAskedRelease}), 2, kReleaseGoalMs)};

  std::printf("\nUploads: zelt20-install --sync --records DIR, %s format 2 records (%.2f KB a line) with\n"
              "their logs (%.2f KB each):\n",
              Grouped(records).c_str(), double(size.record_bytes) / records / 1e3,
              double(size.log_bytes) / records / 1e3);
  std::printf("  %-20s %10s %12s %10s  %s\n", "", "wall s", "records/s", "CPU s", "the installer said");
  for (const SyncFigure& sync : syncs) {
    const std::string rate = sync.sent ? std::to_string(std::lround(records / sync.wall_seconds)) : "-";
    std::printf("  %-20s %10.3f %12s %10.3f  %s\n", sync.what, sync.wall_seconds, rate.c_str(), sync.cpu_seconds,
                sync.said.c_str());
  }
  std::printf("  stored (runs, table with indexes and log texts): %s\n", FirstLine(stored).c_str());

  std::printf("\nFleet: %s runs made on the server in %.1f s (%.0f runs/s, both triggers), VACUUM ANALYZE %.1f s\n",
              Grouped(runs).c_str(), made.wall_seconds, runs / made.wall_seconds, analyzed.wall_seconds);
  std::printf("  runs | stations | stations not on 2.3:56 | database size: %s\n", FirstLine(fleet_size).c_str());
  std::printf("\nQuestions, %d runs each after one unmeasured; process wall time from start to exit,\n"
              "server time = planning + execution of the same SQL (EXPLAIN ANALYZE), ms:\n",
              kRepetitions);
  std::printf("  %-42s %6s %9s %9s %9s %9s %7s %14s\n", "", "rows", "median", "worst", "server", "worst",
              "goal", "median/goal");
  for (const QuestionFigure& q : questions) {
    std::printf("  %-42s %6d %9.1f %9.1f %9.1f %9.1f %7.0f %13.2f %s\n", q.asked.c_str(), q.rows,
                q.process_ms.median, q.process_ms.worst, q.server_ms.median, q.server_ms.worst, q.goal_ms,
                q.process_ms.median / q.goal_ms, q.process_ms.worst <= q.goal_ms ? "met" : "MISSED");
  }
  PrintLoad("at the end");
  return 0;
}

std::optional<int> Count(std::string_view text) {
  int value = 0;
  const auto [stop, failure] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (failure != std::errc() || stop != text.data() + text.size() || value < 1) return std::nullopt;
  return value;
}

}  // namespace
}  // namespace zelt20::bench

int main(int argc, char** argv) {
  using namespace zelt20::bench;
  std::optional<int> records = kDefaultRecords;
  std::optional<int> runs = kDefaultRuns;
  if (argc > 1) records = Count(argv[1]);
  if (argc > 2) runs = Count(argv[2]);
  if (argc > 3 || !records || !runs) {
    std::fprintf(stderr, "Usage: fleet_bench [RECORDS [RUNS]]  (records uploaded, default %d; runs in the fleet "
                         "database, default %d)\n",
                 kDefaultRecords, kDefaultRuns);
    return kExitUsage;
  }
  struct sigaction action = {};
  action.sa_handler = OnEndSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal_number : {SIGINT, SIGTERM, SIGHUP}) sigaction(signal_number, &action, nullptr);
  try {
    return RunBench(*records, *runs);
  } catch (const std::exception& failure) {
    std::fprintf(stderr, "fleet_bench: %s\n", failure.what());
    return 1;
  }
}
