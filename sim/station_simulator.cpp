#include "sim/station_simulator.h"

namespace zelt20::sim {

StationSimulator::StationSimulator(SimulatorOptions options)
    : options_(std::move(options)), model_(options_.station, options_.faults) {}

StationSimulator::~StationSimulator() { Stop(); }

Checked<> StationSimulator::Start() {
  if (thread_.joinable()) return Refusal{"the simulator is already running"};
  Checked<StationLine> line =
      options_.device.empty() ? OpenPseudoTerminal() : OpenSerialDevice(options_.device);
  if (!line) return Refusal{line.Reason()};
  line_ = std::move(*line);
  stop_ = false;
  thread_ = std::thread([this] { Serve(); });
  return Accepted{};
}

void StationSimulator::Serve() {
  LineServer server(line_.Fd(), model_, model_mutex_, options_.line);
  const LineEnd end = server.Run(stop_);
  const std::lock_guard lock(end_mutex_);
  failure_ = server.FailureText();
  end_ = end;
  ended_.notify_all();
}

bool StationSimulator::WaitUntilEnded(std::chrono::milliseconds limit) {
  std::unique_lock lock(end_mutex_);
  return ended_.wait_for(lock, limit, [this] { return end_.has_value(); });
}

void StationSimulator::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
}

std::optional<LineEnd> StationSimulator::End() const {
  const std::lock_guard lock(end_mutex_);
  return end_;
}

std::string StationSimulator::FailureText() const {
  const std::lock_guard lock(end_mutex_);
  return failure_;
}

SimulatorReport StationSimulator::Report() const {
  const std::lock_guard lock(model_mutex_);
  return MakeReport(model_);
}

}  // namespace zelt20::sim
