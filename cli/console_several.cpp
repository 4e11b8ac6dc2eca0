#include "cli/console_several.h"

#include <chrono>
#include <map>
#include <memory>
#include <utility>

#include "cli/command_line.h"
#include "cli/console_platform.h"
#include "cli/fleet_console.h"
#include "cli/record_problems.h"
#include "cli/stop_on_end.h"
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
  // A new file, as each run's log file will be.
  const Checked<RecordFile> probe = RecordFile::CreateNew(folder, ".write-check", ".tmp");
  if (!probe) return Refusal{probe.Reason()};
  std::filesystem::remove(probe->Path(), error);
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
  Recorder recorder(records_folder, ThisMachine(FrontEnd::kConsole));
  ConsoleUploads uploads(recorder, settings_file);
  std::vector<LabelledRecording> recordings;
  SeveralRuns runs(
      port_texts,
      [&](std::string_view port_text) {
        recordings.emplace_back(PortLabel(port_text) + ": ", recorder.Start(port_text));
        return std::make_unique<ProgramRunKit>(ports, settings_file, recordings.back().second);
      },
      desk, *board);
  const EndWatch ends(StopOnEnd({.stop_all =
                                     [&](StopCause cause) {
                                       uploads.EndNow();
                                       runs.StopAll(cause);
                                       desk.CancelAll();
                                     },
                                 .keep_records_by =
                                     [&](std::chrono::steady_clock::time_point deadline) {
                                       recorder.KeepRecordsBy(deadline);
                                     },
                                 .tell = [&](std::string_view line) { board->Note(line); }}));

  board->Start([&] { return runs.Snapshots(); });
  runs.Start();
  runs.Wait();
  board->Stop();
  TellRecordProblems(recorder, recordings);
  uploads.Finish();
  const std::vector<SeveralRunEnd> run_ends = runs.Ends();
  WriteUtf8(stdout, SummaryText(run_ends));
  return SeveralExitStatus(run_ends);
}

}  // namespace zelt20
