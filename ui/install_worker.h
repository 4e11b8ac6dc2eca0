// The worker that the window starts: RunInstallation with the installer it
// shares with the application.
#pragma once

#include <memory>

#include "install/installation.h"
#include "ui/main_dialog.h"

namespace zelt20 {

// The worker keeps the installer (and what that installer's owner keeps
// with it) alive, so a worker left running when the window closes never
// outlives the installer and serial device it uses.
RunWorker InstallWorker(std::shared_ptr<Installer> installer);

// The installer of this machine: the platform's serial device, the
// monotonic clock and the local time.
std::shared_ptr<Installer> MakePlatformInstaller();

}  // namespace zelt20
