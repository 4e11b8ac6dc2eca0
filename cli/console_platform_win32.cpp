#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "cli/console_platform.h"
#include "cli/session_end_window.h"

namespace zelt20 {
namespace {

// The live watch's callback: the console handler is a plain function, and
// the session window calls it from its own thread.
std::mutex g_watch_mutex;
std::function<void(const EndRequest&)>* g_on_end = nullptr;
int g_requests = 0;

// Windows ends a program 5 s after its console closes, or the session it
// runs in ends; what the handler does must be done well before.
constexpr std::chrono::milliseconds kEndingAllows{4000};
constexpr UINT kExitStopped = 3;

struct ConsoleEvent {
  DWORD event;
  StopCause cause;
  bool ends_the_program;
};
constexpr ConsoleEvent kConsoleEvents[] = {
    {CTRL_C_EVENT, StopCause::kCtrlC, false},
    {CTRL_BREAK_EVENT, StopCause::kCtrlBreak, false},
    {CTRL_CLOSE_EVENT, StopCause::kConsoleClosed, true},
    {CTRL_LOGOFF_EVENT, StopCause::kLogoff, true},
    {CTRL_SHUTDOWN_EVENT, StopCause::kShutdown, true},
};

// Hands a request to end to the live watch; false when none lives. A
// request that ends the program has until the deadline from now, and the
// program ends here once on_end has returned.
bool RequestToEnd(StopCause cause, bool ends_the_program) {
  EndRequest request{cause, 0, std::nullopt};
  if (ends_the_program) request.deadline = std::chrono::steady_clock::now() + kEndingAllows;
  // Under the lock, so that the watch outlives the call; a request with a
  // deadline holds it while it waits for the runs, so that a later one
  // waits too, and the program ends before it is let go.
  std::lock_guard lock(g_watch_mutex);
  if (g_on_end == nullptr) return false;
  request.count = ++g_requests;
  (*g_on_end)(request);
  // The records are kept; returning would end the program with the
  // system's status, not the one of a stopped run.
  if (request.deadline) TerminateProcess(GetCurrentProcess(), kExitStopped);
  return true;
}

// Runs on a thread of its own that the system starts for the event.
BOOL WINAPI OnConsoleControl(DWORD event) {
  const auto known = std::find_if(std::begin(kConsoleEvents), std::end(kConsoleEvents),
                                  [event](const ConsoleEvent& e) { return e.event == event; });
  // Unknown, or with no watch: the next handler, by default the system's,
  // which ends the program.
  if (known == std::end(kConsoleEvents)) return FALSE;
  return RequestToEnd(known->cause, known->ends_the_program) ? TRUE : FALSE;
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

struct EndWatch::Watch {
  explicit Watch(std::function<void(const EndRequest&)> callback) : on_end(std::move(callback)) {}
  std::function<void(const EndRequest&)> on_end;
  // Made once the watch takes requests, gone before it stops.
  std::optional<SessionEndWindow> session;
};

EndWatch::EndWatch(std::function<void(const EndRequest& request)> on_end)
    : watch_(std::make_unique<Watch>(std::move(on_end))) {
  {
    std::lock_guard lock(g_watch_mutex);
    g_on_end = &watch_->on_end;
    g_requests = 0;
  }
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
  // A session's end comes as a window message where the console gives no
  // logoff or shutdown event, and allows as little time.
  watch_->session.emplace([] { RequestToEnd(StopCause::kEndSession, true); });
}

// A request being handled keeps the watch until it is done (a request with
// a deadline never lets go: the program ends first).
EndWatch::~EndWatch() {
  watch_->session.reset();
  SetConsoleCtrlHandler(OnConsoleControl, FALSE);
  std::lock_guard lock(g_watch_mutex);
  g_on_end = nullptr;
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
