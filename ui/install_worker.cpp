#include "ui/install_worker.h"

#include <utility>

#include "core/clock.h"
#include "fleet/fleet_connections.h"
#include "link/serial_device.h"
#include "ports/port_resolver.h"
#include "record/this_machine.h"

namespace zelt20 {
namespace {

// The installer and the device it talks through, owned as one.
struct PlatformInstaller {
  explicit PlatformInstaller(const std::optional<std::string>& settings_path)
      : installer({*device, SystemPortResolver(settings_path), MonotonicClock(), LocalTimeNow}) {}

  std::unique_ptr<SerialDevice> device = MakePlatformSerialDevice();
  Installer installer;
};

}  // namespace

RunWorker InstallWorker(std::shared_ptr<Installer> installer) {
  return [installer = std::move(installer)](RunContext& run, const char* port_text,
                                            RunObserver& observer) {
    installer->RunInstallation(run, port_text, observer);
  };
}

std::shared_ptr<Installer> MakePlatformInstaller(const std::optional<std::string>& settings_path) {
  auto owner = std::make_shared<PlatformInstaller>(settings_path);
  return {owner, &owner->installer};
}

void SetUpFleetUpload(MainDialog::Setup& setup) {
  const Checked<FleetConnections> fleet = ConfiguredFleet(SystemEnvironment, setup.settings_path);
  if (fleet) {
    setup.fleet_upload = fleet->upload;
  } else {
    setup.fleet_problem = fleet.Reason();
  }
}

std::shared_ptr<Recorder> WindowRecorder() {
  const std::optional<std::filesystem::path> folder = DefaultRecordsFolder();
  if (!folder) return nullptr;
  return std::make_shared<Recorder>(*folder, ThisMachine(FrontEnd::kWindow));
}

}  // namespace zelt20
