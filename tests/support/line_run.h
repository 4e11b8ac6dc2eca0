// End-to-end runs inside the test process: the simulated station serving a
// new pseudo-terminal on its own thread, and the installer on its worker
// thread with the platform's serial port and the real clock, as the window
// runs it. Nothing is virtual here: every time-out is real.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "install/installation.h"
#include "sim/station_simulator.h"
#include "tests/support/child_process.h"
#include "tests/support/recording_run.h"
#include "tests/support/run_times.h"

namespace zelt20::test {

// A simulated station on a new pseudo-terminal, whose line is COM port
// `com_number`: to an InstallerThread, and to a program started with
// Environment().
class StationOnLine {
 public:
  // Throws std::runtime_error when no pseudo-terminal can be had.
  StationOnLine(sim::SimulatorOptions options, int com_number);

  const std::string& Device() const { return device_; }
  const std::string& PortText() const { return port_text_; }
  // ZELT20_COM<n> naming the pty, for a program started against the station.
  ChildProcess::Variables Environment() const { return {{"ZELT20_COM" + port_text_, device_}}; }
  // What the station has seen; after a hang-up, what it had seen by then.
  sim::SimulatorReport Report() const;
  // The station's end of the line goes away, as when the cable is pulled:
  // the pty master is closed under the installer. Not to be called while
  // another thread asks for the report.
  void HangUp();
  bool HungUp() const { return simulator_ == nullptr; }

 private:
  std::unique_ptr<sim::StationSimulator> simulator_;
  std::optional<sim::SimulatorReport> report_at_hang_up_;
  std::string device_;
  std::string port_text_;
};

struct InstallerRunResult {
  RunOutcome outcome = RunOutcome::kEarlyEnd;
  std::string log;  // UTF-8
  std::vector<std::string> boxes;
  std::int32_t last_progress = -1;
  Ms elapsed{0};
  bool finished = false;
  bool port_may_retry = false;
  int finish_calls = 0;
};

// One installation run on a worker thread against the station, started
// with the station's port text; the recording window answers the boxes (OK
// unless told otherwise).
class InstallerThread {
 public:
  explicit InstallerThread(const StationOnLine& station);
  InstallerThread(const InstallerThread&) = delete;
  InstallerThread& operator=(const InstallerThread&) = delete;
  ~InstallerThread();

  // Set up before Start.
  RecordingRun& Window() { return window_; }
  // `action` runs once, on the worker inside the append, when an appended
  // text contains `text` (UTF-8): the moment a window would show the line.
  void OnLine(std::string text, std::function<void()> action);

  void Start();
  // Waits up to `limit` for the run to end; false while it still runs.
  bool WaitFor(std::chrono::milliseconds limit);
  InstallerRunResult Join();

 private:
  std::string port_text_;
  std::unique_ptr<SerialDevice> device_;
  RecordingRun window_;
  Installer installer_;
  std::string trigger_;
  std::function<void()> action_;
  bool fired_ = false;
  std::thread worker_;
  std::promise<void> ended_;
  std::future<void> ended_future_ = ended_.get_future();
  RunOutcome outcome_ = RunOutcome::kEarlyEnd;
  Ms elapsed_{0};
};

// What every descriptor of this process refers to (/proc/self/fd), sorted.
std::vector<std::string> OpenDescriptors();
// Whether a descriptor of this process has `device` open.
bool HeldOpen(const std::string& device);
// Whether the platform's serial port can open `device` now: nobody holds
// its lock any more.
bool OpensAgain(const std::string& device);

}  // namespace zelt20::test
