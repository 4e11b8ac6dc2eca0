#include <unistd.h>

#include <csignal>

#include "cli/console_platform.h"

namespace zelt20 {
namespace {

RunFlags* g_flags = nullptr;

void OnInterrupt(int) {
  g_flags->stop_requested = true;
  std::signal(SIGINT, SIG_DFL);  // a second Ctrl-C ends the program
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return isatty(fileno(stream)) == 1; }

void InstallInterruptHandler(RunFlags& flags) {
  g_flags = &flags;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a pending box answer reads as Cancel
  sigaction(SIGINT, &action, nullptr);
}

void UseBinaryOutput() {}

void WriteUtf8(std::FILE* stream, std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stream);
  std::fflush(stream);
}

}  // namespace zelt20
