#include "ui/install_worker.h"

#include <utility>

#include "core/clock.h"
#include "link/serial_device.h"

namespace zelt20 {
namespace {

// The installer and the device it talks through, owned as one.
struct PlatformInstaller {
  std::unique_ptr<SerialDevice> device = MakePlatformSerialDevice();
  Installer installer{{*device, MonotonicClock(), LocalTimeNow}};
};

}  // namespace

RunWorker InstallWorker(std::shared_ptr<Installer> installer) {
  return [installer = std::move(installer)](RunContext& run, const char* port_text) {
    installer->RunInstallation(run, port_text);
  };
}

std::shared_ptr<Installer> MakePlatformInstaller() {
  auto owner = std::make_shared<PlatformInstaller>();
  return {owner, &owner->installer};
}

}  // namespace zelt20
