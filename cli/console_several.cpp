#include "cli/console_several.h"

#include <map>
#include <memory>
#include <utility>

#include "cli/command_line.h"
#include "cli/console_platform.h"
#include "cli/interrupt_stop.h"
#include "cli/question_desk.h"
#include "cli/run_board.h"
#include "cli/run_view.h"
#include "cli/several_runs.h"
#include "cli/summary.h"
#include "core/clock.h"
#include "install/installation.h"
#include "link/serial_device.h"
#include "ports/open_failure.h"
#include "ports/port_resolver.h"
#include "record/record_file.h"
#include "record/records_file.h"
#include "record/run_recording.h"
#include "record/this_machine.h"
#if !defined(_WIN32)
#include "ports/serial_node.h"
#endif

namespace zelt20 {
namespace {

// One name for one device, whatever the links to it.
std::string DeviceName(const ComDevice& device) {
#if defined(_WIN32)
  return device.device;
#else
  return CanonicalDevice(device.device);
#endif
}

// Every port's device looked up once, before any run starts, so that no
// run looks into the environment or the settings file on its own.
PortResolver ResolvedOnce(const std::vector<std::string>& port_texts, const PortResolver& ports) {
  std::map<std::string, ComDevice> devices;  // by port path
  for (const std::string& text : port_texts) {
    if (const std::optional<std::uint32_t> number = ComNumberOfText(text)) {
      const ComPort port{*number, std::string(kComPathPrefix) + text};
      devices[port.path] = ports(port);
    }
  }
  return [devices = std::move(devices), ports](const ComPort& port) {
    const auto found = devices.find(port.path);
    return found != devices.end() ? found->second : ports(port);
  };
}

// A run of the program: the platform's serial port and clock, its log file
// and record.
class ProgramRunKit final : public RunKit {
 public:
  ProgramRunKit(PortResolver ports, const std::optional<std::string>& settings_file,
                std::shared_ptr<RunRecording> recording)
      : device_(MakePlatformSerialDevice()),
        ports_(std::move(ports)),
        settings_file_(settings_file),
        recording_(std::move(recording)) {}

  InstallerPlatform Platform() override {
    return {*device_, ports_, MonotonicClock(), [] { return LocalTimeNow(); }};
  }
  RunTrace& Trace() override { return *recording_; }
  LogSink& Log() override { return recording_->Log(); }
  std::string PortProblem(const DeviceFailure& failure) override {
    return OpenFailureReason(failure, *MakeSystemFacts(), settings_file_);
  }
  std::optional<std::string> RecordProblem() override { return recording_->Problem(); }

 private:
  std::unique_ptr<SerialDevice> device_;
  PortResolver ports_;
  const std::optional<std::string>& settings_file_;
  std::shared_ptr<RunRecording> recording_;
};

std::unique_ptr<RunBoard> MakeBoard(const std::vector<std::string>& port_texts) {
  std::vector<std::string> ports;
  for (const std::string& text : port_texts) ports.push_back(PortLabel(text));
  const auto write = [](std::string_view text) { WriteUtf8(stderr, text); };
  if (CanRedrawInPlace(stderr)) return std::make_unique<LiveTable>(write, std::move(ports));
  return std::make_unique<StepLines>(write, std::move(ports));
}

}  // namespace

Checked<> CheckRecordsFolder(const std::filesystem::path& folder) {
  std::error_code error;
  std::filesystem::create_directories(folder, error);
  if (error) return Refusal{"cannot make the folder " + PathText(folder) + ": " + error.message()};
  const Checked<RecordFile> records = RecordFile::OpenForAppend(folder / kRecordsFileName);
  if (!records) return Refusal{records.Reason()};
  return Accepted{};
}

Checked<> CheckSeveralPorts(const std::vector<std::string>& port_texts, const PortResolver& ports) {
  return CheckDistinctDevices(port_texts, [&](const ComPort& port) { return DeviceName(ports(port)); });
}

int InstallOnSeveralPorts(const std::vector<std::string>& port_texts, BoxAnswering answering,
                          const std::optional<std::string>& settings_file,
                          const std::filesystem::path& records_folder) {
  const PortResolver ports = ResolvedOnce(port_texts, SystemPortResolver(settings_file));
  const std::unique_ptr<AnswerReader> answers = MakeStandardInputReader();
  const std::unique_ptr<RunBoard> board = MakeBoard(port_texts);
  QuestionDesk desk(answering, *answers, *board);
  const RunRecorder record = RecordIn(records_folder, ThisMachine(FrontEnd::kConsole));
  SeveralRuns runs(
      port_texts,
      [&](std::string_view port_text) {
        return std::make_unique<ProgramRunKit>(ports, settings_file, record(port_text));
      },
      desk, *board);
  const InterruptWatch interrupts(StopOnInterrupt(
      [&] {
        runs.StopAll();
        desk.CancelAll();
      },
      [&](std::string_view line) { board->Note(line); }));

  board->Start([&] { return runs.Snapshots(); });
  runs.Start();
  const std::vector<SeveralRunEnd> ends = runs.Wait();
  board->Stop();
  WriteUtf8(stdout, SummaryText(ends));
  return SeveralExitStatus(ends);
}

}  // namespace zelt20
