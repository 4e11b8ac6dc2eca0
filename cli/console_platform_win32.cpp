#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>

#include "cli/console_platform.h"

namespace zelt20 {
namespace {

// The live watch's callback: the console handler is a plain function.
std::mutex g_watch_mutex;
std::function<void(int)>* g_on_interrupt = nullptr;
int g_interrupts = 0;

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleControl(DWORD event) {
  if (event != CTRL_C_EVENT) return FALSE;  // the default: end the program
  std::lock_guard lock(g_watch_mutex);
  if (g_on_interrupt != nullptr) (*g_on_interrupt)(++g_interrupts);
  return TRUE;
}

// The console behind a stream, or none when it goes to a file or pipe (a
// console, not just any character device: _isatty is true for NUL too).
HANDLE ConsoleOf(std::FILE* stream) {
  const auto handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
  DWORD mode = 0;
  return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

// A console read that Ctrl-C interrupts ends as the end of the input.
class StandardInputReader final : public AnswerReader {
 public:
  std::optional<std::string> ReadLine() override {
    char line[256];
    if (cancelled_ || std::fgets(line, sizeof line, stdin) == nullptr || cancelled_) {
      return std::nullopt;
    }
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
  }
  void Cancel() override { cancelled_ = true; }

 private:
  std::atomic<bool> cancelled_{false};
};

}  // namespace

struct InterruptWatch::Watch {
  std::function<void(int)> on_interrupt;
};

InterruptWatch::InterruptWatch(std::function<void(int count)> on_interrupt)
    : watch_(std::make_unique<Watch>(Watch{std::move(on_interrupt)})) {
  {
    std::lock_guard lock(g_watch_mutex);
    g_on_interrupt = &watch_->on_interrupt;
    g_interrupts = 0;
  }
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}

InterruptWatch::~InterruptWatch() {
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  std::lock_guard lock(g_watch_mutex);
  g_on_interrupt = nullptr;
}

std::unique_ptr<AnswerReader> MakeStandardInputReader() {
  return std::make_unique<StandardInputReader>();
}

bool IsTerminal(std::FILE* stream) { return ConsoleOf(stream) != nullptr; }

bool CanRedrawInPlace(std::FILE* stream) {
  const HANDLE console = ConsoleOf(stream);
  DWORD mode = 0;
  return console != nullptr && GetConsoleMode(console, &mode) &&
         SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
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
