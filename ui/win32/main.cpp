// zelt20-installer.exe: the operator's window for reflashing a ZELT20
// station, on Windows.
#include <windows.h>
#include <commctrl.h>

#include "core/settings_file.h"
#include "ui/install_worker.h"
#include "ui/port_setting.h"
#include "ui/win32/dialog_window.h"
#include "ui/win32/wide_text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*command_line*/,
                    int /*show*/) {
  const INITCOMMONCONTROLSEX controls{sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&controls);

  bool worker_left_running = false;
  {
    const std::optional<std::string> settings_path = zelt20::SettingsPath();
    zelt20::MainDialog::Setup setup{zelt20::InstallWorker(zelt20::MakePlatformInstaller(settings_path)),
                                    zelt20::Cp1251Text(zelt20::TextAfterProgramName(GetCommandLineW())),
                                    settings_path, zelt20::MainDialog::kCloseWait, nullptr,
                                    zelt20::WindowRecorder()};
    zelt20::SetUpFleetUpload(setup);
    zelt20::DialogWindow dialog(instance, std::move(setup));
    dialog.DoModal();
    worker_left_running = dialog.LeftWorkerRunning();
  }
  // A worker still running when the window closed ends with the process,
  // at once, with nothing it uses destroyed under it.
  if (worker_left_running) ExitProcess(0);
  return 0;
}
