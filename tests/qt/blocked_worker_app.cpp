// The program with a worker that blocks in a read of a line that never
// delivers: the operator presses Start, then Stop/Exit while the port is
// still being opened. The window closes after its wait and the process must
// end cleanly, with exit status 0, leaving config.ini beside the program,
// and the run's one record in the records folder beside it.
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QPushButton>
#include <QTimer>
#include <array>
#include <atomic>

#include "core/settings_file.h"
#include "ui/install_worker.h"
#include "ui/qt/window_program.h"

namespace {

std::atomic<bool> reading{false};

void BlockedRead(zelt20::RunContext& /*run*/, const char* port_text,
                 zelt20::RunObserver& observer) {
  observer.RunStarted(port_text);
  std::array<int, 2> line{};
  if (pipe(line.data()) != 0) return;
  reading = true;
  char byte = 0;
  [[maybe_unused]] const ssize_t never = read(line[0], &byte, 1);  // no writer ever writes
}

QPushButton* Button(const char* name) {
  QWidget* window = QApplication::activeModalWidget();
  return window == nullptr ? nullptr : window->findChild<QPushButton*>(QString::fromLatin1(name));
}

// Presses Stop/Exit once the worker is blocked in its read.
void PressStopExitWhenReading() {
  QTimer::singleShot(10, [] {
    if (!reading) return PressStopExitWhenReading();
    Button("stopExit")->click();
  });
}

void PressStartWhenOpen() {
  QTimer::singleShot(10, [] {
    QPushButton* start = Button("start");
    if (start == nullptr) return PressStartWhenOpen();
    start->click();
    PressStopExitWhenReading();
  });
}

}  // namespace

// The application calls it as it starts, before the window opens.
Q_COREAPP_STARTUP_FUNCTION(PressStartWhenOpen)

int main(int argc, char* argv[]) {
  return zelt20::RunWindowProgram(argc, argv, zelt20::SettingsPath(), BlockedRead, {},
                                  zelt20::WindowRecorder());
}
