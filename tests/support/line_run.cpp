#include "tests/support/line_run.h"

#include <algorithm>
#include <filesystem>
#include <stdexcept>

#include "core/clock.h"
#include "core/cp1251.h"

namespace zelt20::test {

StationOnLine::StationOnLine(sim::SimulatorOptions options, int com_number)
    : simulator_(std::make_unique<sim::StationSimulator>(std::move(options))),
      port_text_(std::to_string(com_number)) {
  if (const Checked<> started = simulator_->Start(); !started) {
    throw std::runtime_error("simulated station: " + started.Reason());
  }
  device_ = simulator_->LinePath();
}

sim::SimulatorReport StationOnLine::Report() const {
  return simulator_ ? simulator_->Report() : *report_at_hang_up_;
}

void StationOnLine::HangUp() {
  if (!simulator_) return;
  report_at_hang_up_ = simulator_->Report();
  simulator_.reset();  // stops the station's thread and closes the master
}

InstallerThread::InstallerThread(const StationOnLine& station)
    : port_text_(station.PortText()),
      device_(MakePlatformSerialDevice()),
      installer_({*device_, [device = station.Device()](const ComPort&) { return ComDevice{device}; },
                  MonotonicClock(), [] { return LocalTimeNow(); }}) {}

InstallerThread::~InstallerThread() {
  if (worker_.joinable()) worker_.join();
}

void InstallerThread::OnLine(std::string text, std::function<void()> action) {
  trigger_ = std::move(text);
  action_ = std::move(action);
}

void InstallerThread::Start() {
  if (action_) {
    window_.OnAppend([this](const std::string& appended) {
      if (!fired_ && Cp1251ToUtf8(appended).find(trigger_) != std::string::npos) {
        fired_ = true;
        action_();
      }
    });
  }
  worker_ = std::thread([this] {
    const auto start = std::chrono::steady_clock::now();
    outcome_ = installer_.RunInstallation(window_, port_text_.c_str());
    elapsed_ = std::chrono::steady_clock::now() - start;
    ended_.set_value();
  });
}

bool InstallerThread::WaitFor(std::chrono::milliseconds limit) {
  return ended_future_.wait_for(limit) == std::future_status::ready;
}

InstallerRunResult InstallerThread::Join() {
  worker_.join();
  InstallerRunResult run;
  run.outcome = outcome_;
  run.log = window_.LogUtf8();
  run.boxes = window_.BoxTexts();
  if (!window_.Progress().empty()) run.last_progress = window_.Progress().back();
  run.elapsed = elapsed_;
  run.finished = window_.Flags().finished;
  run.port_may_retry = window_.Flags().port_may_retry;
  run.finish_calls = window_.FinishCount();
  return run;
}

std::vector<std::string> OpenDescriptors() {
  std::vector<std::string> targets;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd", error)) {
    std::error_code ignored;
    targets.push_back(std::filesystem::read_symlink(entry.path(), ignored).string());
  }
  std::sort(targets.begin(), targets.end());
  return targets;
}

bool HeldOpen(const std::string& device) {
  const std::vector<std::string> targets = OpenDescriptors();
  return std::find(targets.begin(), targets.end(), device) != targets.end();
}

bool OpensAgain(const std::string& device) {
  const std::unique_ptr<SerialDevice> port = MakePlatformSerialDevice();
  const bool opened = port->Open(device);
  port->Close();
  return opened;
}

}  // namespace zelt20::test
