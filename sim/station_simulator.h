// The simulated station on a thread of its own, serving a new
// pseudo-terminal (or a given serial device), for end-to-end tests that run
// the installer in the same process and for the zelt20-station program.
//
//   StationSimulator station(options);
//   if (const Checked<> started = station.Start(); !started) ...;
//   // the installer opens station.LinePath() as its port
//   station.Stop();
//   SimulatorReport report = station.Report();
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "sim/faults.h"
#include "sim/line_server.h"
#include "sim/report.h"
#include "sim/station_line.h"
#include "sim/station_model.h"

namespace zelt20::sim {

struct SimulatorOptions {
  StationSetup station;
  std::vector<Fault> faults;
  LineOptions line;
  std::string device;  // empty: a new pseudo-terminal
};

class StationSimulator {
 public:
  explicit StationSimulator(SimulatorOptions options);
  ~StationSimulator();  // stops the thread
  StationSimulator(const StationSimulator&) = delete;
  StationSimulator& operator=(const StationSimulator&) = delete;

  // Opens the line and starts serving it; refused, with the reason, when
  // the line cannot be opened.
  Checked<> Start();
  // The device the installer is to open.
  const std::string& LinePath() const { return line_.InstallerPath(); }
  // Waits up to `limit` for the server to end by itself (an end condition
  // of the line options, or a line failure); true when it has.
  bool WaitUntilEnded(std::chrono::milliseconds limit);
  // Ends the server if it still runs and waits for its thread.
  void Stop();
  // How the server ended; none while it runs.
  std::optional<LineEnd> End() const;
  // Why the line failed (End() is LineEnd::kLineFailed).
  std::string FailureText() const;

  // What the station has seen and done so far; safe while it runs.
  SimulatorReport Report() const;

 private:
  void Serve();

  SimulatorOptions options_;
  StationModel model_;
  mutable std::mutex model_mutex_;
  StationLine line_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  mutable std::mutex end_mutex_;
  std::condition_variable ended_;
  std::optional<LineEnd> end_;
  std::string failure_;
};

}  // namespace zelt20::sim
