#include "ui/qt/stanload_app.h"

#include <QApplication>
#include <QStringList>
#include <cstdlib>
#include <utility>
#include <vector>

#include "core/cp1251.h"
#include "ui/qt/app_icon.h"

namespace zelt20 {

StanloadApp::StanloadApp(int& argc, char** argv, std::optional<std::string> settings_path,
                         RunWorker run_worker,
                         std::function<std::optional<DeviceFailure>()> port_failure)
    : qt_(std::make_unique<QApplication>(argc, argv)),
      settings_path_(std::move(settings_path)),
      run_worker_(std::move(run_worker)),
      port_failure_(std::move(port_failure)) {
  const QStringList arguments = QCoreApplication::arguments();
  std::vector<std::string> after_name;
  for (qsizetype i = 1; i < arguments.size(); ++i) after_name.push_back(arguments[i].toStdString());
  command_line_ = Utf8ToCp1251(CommandLinePort(after_name));
  QApplication::setWindowIcon(MakeApplicationIcon());
}

StanloadApp::~StanloadApp() = default;

bool StanloadApp::InitInstance() {
  auto dialog = std::make_unique<StanloadDialog>(StanloadDialog::Setup{
      run_worker_, command_line_, settings_path_, StanloadDialog::kCloseWait, port_failure_});
  dialog->exec();
  worker_left_running_ = dialog->LeftWorkerRunning();
  dialog.reset();
  return false;
}

int StanloadApp::ExitInstance() {
  qt_.reset();
  if (worker_left_running_) std::quick_exit(EXIT_SUCCESS);
  return EXIT_SUCCESS;
}

}  // namespace zelt20
