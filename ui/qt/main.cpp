// zelt20-installer: the operator's window for reflashing a ZELT20 station.
#include "core/settings_file.h"
#include "ui/install_worker.h"
#include "ui/qt/window_program.h"

int main(int argc, char* argv[]) {
  const std::optional<std::string> settings_path = zelt20::SettingsPath();
  const std::shared_ptr<zelt20::Installer> installer = zelt20::MakePlatformInstaller(settings_path);
  return zelt20::RunWindowProgram(argc, argv, settings_path, zelt20::InstallWorker(installer),
                                  [installer] { return installer->PortFailure(); },
                                  zelt20::WindowRecorder());
}
