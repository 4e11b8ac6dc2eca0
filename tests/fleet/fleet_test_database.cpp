#include "tests/fleet/fleet_test_database.h"

#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cctype>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace zelt20::test {
namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || *value == '\0') {
    throw std::runtime_error(std::string(name) +
                             " is not set: register the test with zelt20_fleet_test()");
  }
  return value;
}

// Quoted for /bin/sh.
std::string Quoted(std::string_view text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

// A file of the test's own, removed when it goes.
class TempFile {
 public:
  TempFile() {
    std::string dir = "/tmp";
    if (const char* tmp = std::getenv("TMPDIR"); tmp != nullptr && *tmp != '\0') dir = tmp;
    path_ = dir + "/zelt20-fleet-XXXXXX";
    const int fd = mkstemp(path_.data());
    if (fd < 0) throw std::runtime_error("cannot make a file in " + dir);
    close(fd);
  }
  ~TempFile() { unlink(path_.c_str()); }
  TempFile(const TempFile&) = delete;
  TempFile& operator=(const TempFile&) = delete;
  const std::string& path() const { return path_; }
  std::string Read() const {
    std::ifstream in(path_, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
  }

 private:
  std::string path_;
};

// COMMAND's standard output; its standard error goes to a file that a
// failure's exception quotes.
std::string Run(const std::string& command) {
  TempFile errors;
  FILE* pipe = popen((command + " 2>" + Quoted(errors.path())).c_str(), "r");
  if (pipe == nullptr) throw std::runtime_error("cannot run " + command);
  std::string output;
  char buffer[4096];
  for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
  const int status = pclose(pipe);
  if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error(command + " failed:\n" + errors.Read());
  }
  return output;
}

std::string Script() {
  return Quoted(Environment("ZELT20_TEST_PG_SCRIPT")) + " ";
}

std::string UniqueSuffix() {
  static std::atomic<unsigned> count{0};
  static const unsigned salt = std::random_device{}() & 0xffffffU;
  std::ostringstream suffix;
  suffix << getpid() << '_' << std::hex << salt << '_' << std::dec << count++;
  return suffix.str();
}

}  // namespace

FleetTestDatabase FleetTestDatabase::Create(std::string_view name_prefix, const std::string& server_dir) {
  // A name starts with a letter.
  std::string name = "t";
  for (char c : name_prefix.substr(0, 24)) {
    const auto byte = static_cast<unsigned char>(c);
    name += std::isalnum(byte) && byte < 0x80 ? static_cast<char>(std::tolower(byte)) : '_';
  }
  if (name.size() > 1 && std::isalpha(static_cast<unsigned char>(name[1]))) name.erase(0, 1);
  name += '_';
  name += UniqueSuffix();

  const std::string dir = server_dir.empty() ? Environment("ZELT20_TEST_PG_DIR") : server_dir;
  const std::string output = Run(Script() + "createdb " + Quoted(dir) + " " + Quoted(name));
  FleetTestDatabase database;
  database.name = name;
  std::istringstream lines(output);
  for (std::string line; std::getline(lines, line);) {
    const auto equals = line.find('=');
    if (equals == std::string::npos) continue;
    const std::string key = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    if (key == "admin") database.admin = value;
    if (key == "upload") database.upload = value;
    if (key == "query") database.query = value;
  }
  if (database.admin.empty() || database.upload.empty() || database.query.empty()) {
    throw std::runtime_error("postgres.sh createdb printed no connection strings:\n" + output);
  }
  return database;
}

PrivateFleetServer::PrivateFleetServer() {
  folder_ = Environment("ZELT20_TEST_PG_DIR") + "-" + UniqueSuffix();
  Start();
}

PrivateFleetServer::~PrivateFleetServer() {
  try {
    Run(Script() + "stop " + Quoted(folder_));
  } catch (const std::runtime_error&) {
    // "stop" never fails; a shell that cannot start leaves nothing to stop.
  }
}

void PrivateFleetServer::Pause() { Run(Script() + "pause " + Quoted(folder_)); }
void PrivateFleetServer::Start() { Run(Script() + "start " + Quoted(folder_)); }

std::string Psql(const FleetTestDatabase& database, std::string_view sql) {
  TempFile file;
  {
    std::ofstream out(file.path(), std::ios::binary);
    out << sql;
    if (!out.flush()) throw std::runtime_error("cannot write " + file.path());
  }
  return Run(Script() + "psql " + Quoted(Environment("ZELT20_TEST_PG_DIR")) + " " +
             Quoted(database.admin) + " -X -At -v ON_ERROR_STOP=1 -f " + Quoted(file.path()));
}

}  // namespace zelt20::test
