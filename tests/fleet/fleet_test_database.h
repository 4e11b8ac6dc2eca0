// A fresh database of the fleet schema on the tests' own PostgreSQL server
// (tests/fleet/postgres.sh, started by the CTest fixture fleet_db), for
// tests registered with zelt20_fleet_test(). Each Create() makes a new
// database with its own uploader and reader logins, so tests may run side
// by side. Needs the fixture's environment: ZELT20_TEST_PG_SCRIPT and
// ZELT20_TEST_PG_DIR.
#pragma once

#include <string>
#include <string_view>

namespace zelt20::test {

struct FleetTestDatabase {
  std::string name;    // the database's name
  std::string admin;   // ODBC connection strings: the administrator,
  std::string upload;  // a PC's uploader (zelt20_upload),
  std::string query;   // a reader (zelt20_read)

  // A new database named NAME_PREFIX and a unique suffix (the prefix made
  // lower case, other characters than letters and digits turned into _).
  // Throws std::runtime_error, with the script's messages, when it fails.
  // On the server in `server_dir` rather than the fixture's.
  static FleetTestDatabase Create(std::string_view name_prefix, const std::string& server_dir = {});
};

// A server of a test's own, in a folder of its own, which the test may
// stop and start again; stopped and removed with the object.
class PrivateFleetServer {
 public:
  PrivateFleetServer();
  ~PrivateFleetServer();
  PrivateFleetServer(const PrivateFleetServer&) = delete;
  PrivateFleetServer& operator=(const PrivateFleetServer&) = delete;

  const std::string& Folder() const { return folder_; }
  // Stops the server, keeping its data; Start brings it back on its port.
  void Pause();
  void Start();

 private:
  std::string folder_;
};

// SQL run by psql as the administrator on that database (-At: unaligned
// rows, fields separated by |, no headers; command tags printed); its
// standard output. Throws std::runtime_error with psql's messages when
// psql fails (ON_ERROR_STOP: the first error).
std::string Psql(const FleetTestDatabase& database, std::string_view sql);

}  // namespace zelt20::test
