// zelt20-installer: the operator's window for reflashing a ZELT20 station.
#include "ui/install_worker.h"
#include "ui/qt/window_program.h"

int main(int argc, char* argv[]) {
  const std::shared_ptr<zelt20::Installer> installer = zelt20::MakePlatformInstaller();
  return zelt20::RunWindowProgram(argc, argv, zelt20::InstallWorker(installer),
                                  [installer] { return installer->PortFailure(); });
}
