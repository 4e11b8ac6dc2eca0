// The console's side of the fleet database: the uploads of a command's
// runs, --sync and --fleet. Without a fleet configured nothing of it shows.
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "cli/command_line.h"
#include "fleet/fleet_uploader.h"
#include "record/run_recording.h"

namespace zelt20 {

// Uploads each run's record once it is kept, in the background.
class ConsoleUploads {
 public:
  // How long the end of a command waits for uploads under way.
  static constexpr std::chrono::seconds kUploadWait{5};

  // Set up before the recorder's first run.
  ConsoleUploads(Recorder& recorder, const std::optional<std::string>& settings_file);
  // The program ends at once (a signal, the console closing): no upload
  // is waited for.
  void EndNow() { ending_ = true; }
  // After the runs: waits for the uploads at most kUploadWait, then says
  // on standard error what waits to be uploaded, if anything.
  void Finish();

 private:
  struct LastUpload {
    std::mutex mutex;
    std::optional<SyncReport> report;
  };
  std::shared_ptr<LastUpload> last_ = std::make_shared<LastUpload>();
  std::unique_ptr<FleetUploader> uploader_;
  std::atomic<bool> ending_{false};
};

// zelt20-install --sync: exit 0 when nothing is left pending.
int SyncRecordsNow(const std::filesystem::path& records_folder,
                   const std::optional<std::string>& settings_file);

// zelt20-install --fleet.
int AskFleetNow(const AskFleetDatabase& command, const std::optional<std::string>& settings_file);

}  // namespace zelt20
