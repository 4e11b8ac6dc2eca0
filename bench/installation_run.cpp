#include "bench/installation_run.h"

#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <charconv>
#include <memory>
#include <stdexcept>
#include <thread>

#include "tests/support/pty_pair.h"
#include "tests/support/temp_dir.h"

namespace zelt20::bench {
namespace {

using std::chrono::milliseconds;

constexpr milliseconds kStationStartLimit{10000};
// The station ends once the installer has closed the line after the PROM
// write, or at most 5 s after answering it.
constexpr milliseconds kStationEndLimit{10000};

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

// A file the station on `port` writes: "report", "timings".
std::string StationFile(const test::TempDir& files, const std::string& what, const std::string& port) {
  return files.File(what + port + ".txt");
}

std::vector<std::string> StationArgs(const test::TempDir& files, const std::string& port, bool wire_time) {
  std::vector<std::string> args = {"--exit-after-prom", "--report", StationFile(files, "report", port),
                                   "--timings", StationFile(files, "timings", port)};
  if (wire_time) args.emplace_back("--wire-time");
  return args;
}

std::vector<std::string> InstallerArgs(const test::TempDir& files, const std::vector<std::string>& ports,
                                       bool records) {
  std::vector<std::string> args = {"--yes"};
  if (records) {
    args.insert(args.end(), {"--records", files.File("records")});
  } else {
    args.emplace_back("--no-records");
  }
  args.insert(args.end(), ports.begin(), ports.end());
  return args;
}

}  // namespace

InstallationRun RunInstallation(const InstallationPrograms& programs, const InstallationSetup& setup) {
  const test::TempDir files;
  std::vector<std::unique_ptr<test::ChildProcess>> stations;
  std::vector<std::string> ports;
  test::ChildProcess::Variables lines;
  for (int i = 1; i <= setup.stations; ++i) {
    const std::string port = std::to_string(i);
    stations.push_back(
        std::make_unique<test::ChildProcess>(programs.station, StationArgs(files, port, setup.wire_time)));
    test::ChildProcess& station = *stations.back();
    // Its first line is the device the installer is to open.
    if (!station.WaitForOutput("\n", kStationStartLimit)) {
      throw std::runtime_error("the station did not tell its line: " + station.Err());
    }
    ports.push_back(port);
    lines.push_back({"ZELT20_COM" + ports.back(), station.Out().substr(0, station.Out().find('\n'))});
  }

  InstallationRun run;
  {
    const TerminalSink terminal;
    const auto started = std::chrono::steady_clock::now();
    test::ChildProcess installer(programs.installer, InstallerArgs(files, ports, setup.records), lines,
                                 {.error = terminal.Slave()});
    run.installer = installer.Wait();
    run.wall_seconds = std::chrono::duration<double>(run.installer.at - started).count();
    run.log = installer.Out();
    run.terminal_bytes = terminal.BytesTaken();
  }

  for (std::size_t i = 0; i < stations.size(); ++i) {
    run.stations.push_back(stations[i]->WaitForEnd(kStationEndLimit).value_or(test::ChildEnd{}));
    run.station_reports.push_back(test::TempDir::Read(StationFile(files, "report", ports[i])));
    run.station_timings.push_back(test::TempDir::Read(StationFile(files, "timings", ports[i])));
  }
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
