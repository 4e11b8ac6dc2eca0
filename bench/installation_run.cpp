#include "bench/installation_run.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <thread>
#include <utility>

#include "tests/support/pty_pair.h"
#include "tests/support/temp_dir.h"

namespace zelt20::bench {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kStationStartLimit{10000};
// The station ends once the installer has closed the line after the PROM
// write, or at most 5 s after answering it.
constexpr milliseconds kStationEndLimit{10000};

class Descriptor {
 public:
  explicit Descriptor(int fd = -1) : fd_(fd) {}
  Descriptor(Descriptor&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Descriptor& operator=(Descriptor&&) = delete;
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  ~Descriptor() { Close(); }
  void Close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }

 private:
  int fd_;
};

Descriptor OpenFile(const std::string& path, int flags) {
  return Descriptor(::open(path.c_str(), flags | O_CLOEXEC, 0600));
}

void KeepFromChildren(int fd) { ::fcntl(fd, F_SETFD, FD_CLOEXEC); }

// A terminal for the installer's standard error; a thread takes what the
// installer writes on it, as a terminal window would.
class TerminalSink {
 public:
  TerminalSink() {
    KeepFromChildren(pty_.Master());
    KeepFromChildren(pty_.Slave());
    thread_ = std::thread([this] { Drain(); });
  }
  TerminalSink(const TerminalSink&) = delete;
  TerminalSink& operator=(const TerminalSink&) = delete;
  ~TerminalSink() {
    stop_ = true;
    thread_.join();
  }

  int Slave() const { return pty_.Slave(); }
  std::size_t BytesTaken() const { return taken_; }

 private:
  // Runs until told to stop and nothing is left to take.
  void Drain() {
    constexpr int kPollMs = 50;
    char buffer[4096];
    while (true) {
      pollfd watch{pty_.Master(), POLLIN, 0};
      const int ready = ::poll(&watch, 1, kPollMs);
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0 || (watch.revents & POLLIN) == 0) {
        if (stop_ || ready < 0) return;
        continue;
      }
      const ssize_t n = ::read(pty_.Master(), buffer, sizeof buffer);
      if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
      if (n <= 0) return;
      taken_ += static_cast<std::size_t>(n);
    }
  }

  test::PtyPair pty_;
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> taken_{0};
  std::thread thread_;
};

// The first line the station writes: the device the installer is to open.
std::optional<std::string> ReadFirstLine(int fd, milliseconds limit) {
  const auto until = std::chrono::steady_clock::now() + limit;
  std::string line;
  while (true) {
    const auto left = std::chrono::ceil<milliseconds>(until - std::chrono::steady_clock::now());
    if (left.count() <= 0) return std::nullopt;
    pollfd watch{fd, POLLIN, 0};
    if (::poll(&watch, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) return std::nullopt;
    char c = 0;
    const ssize_t n = ::read(fd, &c, 1);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) return std::nullopt;  // the station ended without telling its line
    if (c == '\n') return line;
    line += c;
  }
}

struct StationStart {
  ChildProcess process;
  std::string line_path;
};

std::optional<StationStart> StartStation(const InstallationPrograms& programs,
                                         const test::TempDir& files, std::string& error) {
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    error = std::string("pipe: ") + std::strerror(errno);
    return std::nullopt;
  }
  const Descriptor from_station(ends[0]);
  Descriptor station_output(ends[1]);
  const Descriptor station_errors = OpenFile(files.File("station.err"), O_WRONLY | O_CREAT | O_TRUNC);
  if (!station_errors.IsOpen()) {
    error = "cannot create files in " + files.Path().string();
    return std::nullopt;
  }
  auto station = ChildProcess::Start(
      {programs.station, "--wire-time", "--exit-after-prom", "--report", files.File("report.txt")},
      {}, {.output = station_output.Get(), .error = station_errors.Get()}, error);
  if (!station) return std::nullopt;
  station_output.Close();  // only the station writes to the pipe now
  auto line_path = ReadFirstLine(from_station.Get(), kStationStartLimit);
  if (!line_path) {
    error = "the station did not tell its line: " + test::TempDir::Read(files.File("station.err"));
    return std::nullopt;
  }
  return StationStart{std::move(*station), std::move(*line_path)};
}

}  // namespace

std::optional<InstallationRun> RunInstallation(const InstallationPrograms& programs,
                                               std::string& error) {
  const test::TempDir files;
  auto station = StartStation(programs, files, error);
  if (!station) return std::nullopt;

  InstallationRun run;
  {
    const Descriptor no_input = OpenFile("/dev/null", O_RDONLY);
    const Descriptor log_file = OpenFile(files.File("log.txt"), O_WRONLY | O_CREAT | O_TRUNC);
    if (!no_input.IsOpen() || !log_file.IsOpen()) {
      error = "cannot open the installer's log file in " + files.Path().string();
      return std::nullopt;
    }
    const TerminalSink terminal;
    const auto started = std::chrono::steady_clock::now();
    auto installer = ChildProcess::Start(
        {programs.installer, "--yes", "1"}, {"ZELT20_COM1=" + station->line_path},
        {.input = no_input.Get(), .output = log_file.Get(), .error = terminal.Slave()}, error);
    if (!installer) return std::nullopt;
    run.installer = installer->Wait();
    run.wall_seconds = std::chrono::duration<double>(run.installer.at - started).count();
    run.terminal_bytes = terminal.BytesTaken();
  }

  if (auto ended = station->process.WaitFor(kStationEndLimit)) run.station = *ended;
  run.station_report = test::TempDir::Read(files.File("report.txt"));
  run.log = test::TempDir::Read(files.File("log.txt"));
  return run;
}

std::optional<int> ReportedRequests(std::string_view report, std::string_view kind) {
  constexpr std::string_view kHeading = "requests:";
  const std::size_t start = report.find(kHeading);
  if (start == std::string_view::npos) return std::nullopt;
  std::string_view line = report.substr(start + kHeading.size());
  line = line.substr(0, line.find('\n'));
  // "requests: identify 1, enter 1, fullpack-version 1, fullpack 126, ..."
  const std::string entry = std::string(" ").append(kind).append(" ");
  const std::size_t at = line.find(entry);
  if (at == std::string_view::npos) return std::nullopt;
  const char* digits = line.data() + at + entry.size();
  int count = 0;
  const auto [stop, failure] = std::from_chars(digits, line.data() + line.size(), count);
  if (failure != std::errc() || stop == digits) return std::nullopt;
  return count;
}

}  // namespace zelt20::bench
