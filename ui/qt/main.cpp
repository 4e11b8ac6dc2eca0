// zelt20-installer: the operator's window for reflashing a ZELT20 station.
#include "ui/install_worker.h"
#include "ui/qt/stanload_app.h"

int main(int argc, char* argv[]) {
  zelt20::StanloadApp app(argc, argv, zelt20::InstallWorker(zelt20::MakePlatformInstaller()));
  app.InitInstance();
  return app.ExitInstance();
}
