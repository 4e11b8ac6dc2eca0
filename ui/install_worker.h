// The worker that the window starts: RunInstallation with the installer it
// shares with the application.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "install/installation.h"
#include "record/run_recording.h"
#include "ui/main_dialog.h"

namespace zelt20 {

// The worker keeps the installer (and what that installer's owner keeps
// with it) alive, so a worker left running when the window closes never
// outlives the installer and serial device it uses.
RunWorker InstallWorker(std::shared_ptr<Installer> installer);

// The installer of this machine: the platform's serial device, its COM
// ports as the settings file (found once by the window) maps them, the
// monotonic clock and the local time.
std::shared_ptr<Installer> MakePlatformInstaller(const std::optional<std::string>& settings_path);

// The window's runs recorded in this machine's records folder; none when
// that folder's place cannot be found.
std::shared_ptr<Recorder> WindowRecorder();

// The fleet database's upload connection and why the configuration was not
// taken, as the window's setup holds them.
void SetUpFleetUpload(MainDialog::Setup& setup);

}  // namespace zelt20
