#include "ui/qt/window_program.h"

#include <QApplication>
#include <QStringList>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "core/cp1251.h"
#include "core/end_signals.h"
#include "ui/install_worker.h"
#include "ui/port_setting.h"
#include "ui/qt/app_icon.h"
#include "ui/qt/dialog_window.h"

namespace zelt20 {

int RunWindowProgram(int& argc, char** argv, std::optional<std::string> settings_path,
                     RunWorker run_worker,
                     std::function<std::optional<DeviceFailure>()> port_failure,
                     std::shared_ptr<Recorder> recorder) {
  bool worker_left_running = false;
  {
    QApplication qt(argc, argv);
    const QStringList arguments = QCoreApplication::arguments();
    std::vector<std::string> after_name;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
      after_name.push_back(arguments[i].toStdString());
    }
    QApplication::setWindowIcon(MakeApplicationIcon());
    MainDialog::Setup setup{std::move(run_worker), Utf8ToCp1251(CommandLinePort(after_name)),
                            std::move(settings_path), DialogWindow::kCloseWait, std::move(port_failure),
                            std::move(recorder)};
    SetUpFleetUpload(setup);
    DialogWindow window(std::move(setup));
    // A signal to end closes the window as Stop/Exit does, on its thread.
    const EndSignalWatch end_signals([&window](StopCause cause, int /*count*/) {
      QMetaObject::invokeMethod(&window, [&window, cause] { window.EndSession(cause); },
                                Qt::QueuedConnection);
    });
    window.exec();
    worker_left_running = window.LeftWorkerRunning();
  }
  if (worker_left_running) std::quick_exit(EXIT_SUCCESS);
  return EXIT_SUCCESS;
}

}  // namespace zelt20
