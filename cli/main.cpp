// zelt20-install: the console installer. One installation run with the port
// text given on the command line, through the same code as the window.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "cli/console_platform.h"
#include "cli/console_run.h"
#include "install/installation.h"
#include "core/clock.h"
#include "link/serial_device.h"

namespace {

constexpr int kExitUsage = 64;

// Around the number of the release built in.
const char kUsageHead[] =
    "Usage: zelt20-install [--yes] PORT\n"
    "\n"
    "Installs the firmware release carried by this program (";
const char kUsageTail[] =
    ") into the\n"
    "ZELT20 station on COM port PORT (1 to 255, digits only, as in the window's\n"
    "port box). Standard output carries exactly the installer's log, in UTF-8.\n"
    "\n"
    "  --yes    answer OK to every confirmation box; without it the boxes are\n"
    "           asked on the terminal, and answered Cancel when there is none\n"
    "  --help   show this text\n"
    "\n"
    "Ctrl-C acts as the window's Stop button; a second Ctrl-C ends the program.\n"
    "On POSIX systems COM<n> is the device named by the environment variable\n"
    "ZELT20_COM<n>, else key com<n> of section [devices] in config.ini beside\n"
    "the program, else /dev/ttyS<n-1>.\n"
    "\n"
    "Exit status:\n"
    "  0  the new version was installed (the success line was logged)\n"
    "  1  early end: bad port text or the port could not be opened\n"
    "  2  a failure after the port was opened\n"
    "  3  stopped with Ctrl-C or declined in a confirmation box\n"
    " 64  wrong command line\n";

void PrintUsage(std::FILE* out) {
  std::fprintf(out, "%s%s%s", kUsageHead, zelt20::VersionText(zelt20::InstallerRelease()).c_str(),
               kUsageTail);
}

int ExitStatus(zelt20::RunOutcome outcome) {
  switch (outcome) {
    case zelt20::RunOutcome::kInstalled: return 0;
    case zelt20::RunOutcome::kNotRun:
    case zelt20::RunOutcome::kEarlyEnd: return 1;
    case zelt20::RunOutcome::kFailed: return 2;
    case zelt20::RunOutcome::kStopped: return 3;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool assume_yes = false;
  const char* port_text = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--help") == 0) {
      PrintUsage(stdout);
      return 0;
    }
    if (std::strcmp(argv[i], "--yes") == 0) {
      assume_yes = true;
    } else if (port_text == nullptr && (argv[i][0] != '-' || argv[i][1] == '\0')) {
      port_text = argv[i];
    } else {
      PrintUsage(stderr);
      return kExitUsage;
    }
  }
  if (port_text == nullptr) {
    PrintUsage(stderr);
    return kExitUsage;
  }

  zelt20::UseBinaryOutput();
  zelt20::ConsoleRun console({.assume_yes = assume_yes,
                              .answers = stdin,
                              .answers_from_terminal = zelt20::IsTerminal(stdin),
                              .progress_on_terminal = zelt20::IsTerminal(stderr)});
  zelt20::LogInstallerRelease(console);
  zelt20::InstallInterruptHandler(console.Flags());

  const std::unique_ptr<zelt20::SerialDevice> device = zelt20::MakePlatformSerialDevice();
  zelt20::Installer installer(
      {*device, zelt20::MonotonicClock(), [] { return zelt20::LocalTimeNow(); }});
  zelt20::InstallThreadProc(installer, console, port_text);
  return ExitStatus(installer.LastOutcome());
}
