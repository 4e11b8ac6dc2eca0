#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <string>

#include "cli/console_platform.h"

namespace zelt20 {
namespace {

RunFlags* g_flags = nullptr;
std::atomic<bool> g_interrupted{false};

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT || g_interrupted.exchange(true)) return FALSE;  // default: end
  g_flags->stop_requested = true;
  return TRUE;
}

// The console behind a stream, or none when it goes to a file or pipe (a
// console, not just any character device: _isatty is true for NUL too).
HANDLE ConsoleOf(std::FILE* stream) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

bool IsTerminal(std::FILE* stream) { return ConsoleOf(stream) != nullptr; }

void InstallInterruptHandler(RunFlags& flags) {
  g_flags = &flags;
  // A console read interrupted by Ctrl-C ends as end of input: Cancel.
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

void UseBinaryOutput() {
  for (std::FILE* stream : {stdout, stderr}) {
    std::fflush(stream);
    _setmode(_fileno(stream), _O_BINARY);
  }
}

// Not through the runtime's write and not by the console's code page: some
// runtimes (Wine's among them) convert console writes byte by byte.
void WriteUtf8(std::FILE* stream, std::string_view text) {
  const HANDLE console = ConsoleOf(stream);
  if (console == nullptr || text.empty()) {
    std::fwrite(text.data(), 1, text.size(), stream);
    std::fflush(stream);
    return;
  }
  std::fflush(stream);
  const int size = static_cast<int>(text.size());
  std::wstring wide(static_cast<std::size_t>(size), L'\0');  // never more units than bytes
  const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), size);
  DWORD written = 0;
  WriteConsoleW(console, wide.data(), static_cast<DWORD>(units), &written, nullptr);
}

}  // namespace zelt20
