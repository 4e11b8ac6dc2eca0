// Watches the window of a running zelt20-installer.exe from outside, as
// another program on the same desktop would, for scripts that drive the
// window with keys (scripts/windows-test.sh, tools/screenshot-windows.sh);
// and ends the installers' runs as Windows ends them.
//
//   window_probe wait-log success|stopped   waits until the log ends with
//                                           that line
//   window_probe wait-progress N            waits until the bar is at N or more
//   window_probe wait-closed                waits until the window is gone
//   window_probe point ID                   prints "x y", the middle of
//                                           control ID on the screen
//   window_probe rect                       prints "x y width height" of
//                                           the window on the screen
//   window_probe log                        prints the log (UTF-8)
//   window_probe press ID                   clicks button ID
//   window_probe confirm                    answers the open box with OK
//   window_probe end-session                a logoff, told to the window
//   window_probe end-console EVENT MOMENT OUTPUT PROGRAM ARG...
//       starts the console installer, its standard output in OUTPUT, and at
//       the MOMENT its output shows (transfer: a segment loaded; reboot: the
//       station rebooting) delivers a console EVENT (CTRL_C_EVENT ...) as
//       the console does, which Wine does not but for Ctrl-C, or a logoff
//       (WM_ENDSESSION) to its hidden window
//
// Both ends print "status S after N ms": the program's exit status and how
// long after the event it ended. Every wait ends after a bound far beyond a
// passing run (exit status 1).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>
#include <string_view>
#include <utility>

#include "tests/win32/window_text.h"

namespace {

using zelt20::test::TextOf;
using zelt20::test::kWindowCaption;
const wchar_t kBoxCaption[] = L"Внимание";
constexpr int kLogPane = 1004;
constexpr int kProgressBar = 1000;
constexpr DWORD kLooks = 10;  // a second
constexpr DWORD kBoundSeconds = 600;

HWND Window() { return FindWindowW(L"#32770", kWindowCaption); }

void Print(const std::wstring& text) {
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), size, nullptr, nullptr);
  std::fwrite(utf8.data(), 1, utf8.size(), stdout);
}

template <typename Condition>
bool WaitFor(Condition condition) {
  for (DWORD look = 0; look < kBoundSeconds * kLooks; ++look) {
    if (condition()) return true;
    Sleep(1000 / kLooks);
  }
  return false;
}

bool WaitForLogEnd(const std::wstring& last_line) {
  const std::wstring ending = last_line + L"\r\n";
  return WaitFor([&ending] {
    const HWND window = Window();
    return window != nullptr && TextOf(GetDlgItem(window, kLogPane)).ends_with(ending);
  });
}

int Fail(const char* what) {
  std::fprintf(stderr, "window_probe: %s\n", what);
  return 1;
}

// Once the process has ended, prints how, N counted from the tick `since`;
// false when it does not end within a minute.
bool PrintEnd(HANDLE process, ULONGLONG since) {
  if (WaitForSingleObject(process, 60000) != WAIT_OBJECT_0) return false;
  DWORD status = 0;
  GetExitCodeProcess(process, &status);
  std::printf("status %lu after %llu ms\n", status, GetTickCount64() - since);
  return true;
}

// A logoff, as Windows tells it to a top-level window of the process.
bool EndSession(HWND window, HANDLE process) {
  constexpr UINT kAnswerMs = 10000;
  DWORD_PTR agreed = FALSE;
  SendMessageTimeoutW(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, kAnswerMs,
                      &agreed);
  if (agreed != TRUE) return false;
  const ULONGLONG sent = GetTickCount64();
  // The process may end before the message returns.
  SendMessageTimeoutW(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF, SMTO_NORMAL, kAnswerMs,
                      nullptr);
  return PrintEnd(process, sent);
}

// --- the console installer ---------------------------------------------

constexpr std::pair<const wchar_t*, DWORD> kConsoleEvents[] = {
    {L"CTRL_C_EVENT", 0},      {L"CTRL_BREAK_EVENT", 1},    {L"CTRL_CLOSE_EVENT", 2},
    {L"CTRL_LOGOFF_EVENT", 5}, {L"CTRL_SHUTDOWN_EVENT", 6},
};

// The output line that shows the moment, in UTF-8; none for no moment.
const char* MomentLine(std::wstring_view moment) {
  if (moment == L"transfer") return "Сегмент загружен";
  if (moment == L"reboot") return "Станция перегружается в режиме апгрейтора";
  return nullptr;
}

// Starts the program with the arguments, its standard output in the file.
PROCESS_INFORMATION Start(wchar_t* args[], int count, const wchar_t* output) {
  std::wstring line;
  for (int i = 0; i < count; ++i) line += L"\"" + std::wstring(args[i]) + L"\" ";
  SECURITY_ATTRIBUTES inherited{sizeof inherited, nullptr, TRUE};
  const HANDLE file =
      CreateFileW(output, GENERIC_WRITE, FILE_SHARE_READ, &inherited, CREATE_ALWAYS, 0, nullptr);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = file;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION program{};
  CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                 &program);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return program;
}

bool Shows(const wchar_t* path, const char* text) {
  const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  std::string start(1 << 16, '\0');
  DWORD got = 0;
  ReadFile(file, start.data(), static_cast<DWORD>(start.size()), &got, nullptr);
  CloseHandle(file);
  return start.substr(0, got).find(text) != std::string::npos;
}

// The console's way: its control routine run on a new thread of the
// program (kernel32 lies at the same place in every process).
bool SendConsoleEvent(HANDLE process, DWORD event) {
  const FARPROC routine = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "CtrlRoutine");
  if (routine == nullptr) return false;
  const HANDLE thread = CreateRemoteThread(
      process, nullptr, 0,
      reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void (*)()>(routine)),
      reinterpret_cast<void*>(static_cast<DWORD_PTR>(event)), 0, nullptr);
  return thread != nullptr && CloseHandle(thread) != FALSE;
}

// The hidden window by which the console installer hears of a logoff.
HWND SessionWindowOf(DWORD process_id) {
  HWND window = nullptr;
  while ((window = FindWindowExW(nullptr, window, L"zelt20-install session end", nullptr))) {
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner == process_id) return window;
  }
  return nullptr;
}

// Sends the event and prints how the program ended.
bool EndWith(std::wstring_view event, const PROCESS_INFORMATION& program) {
  if (event == L"WM_ENDSESSION") {
    const HWND window = SessionWindowOf(program.dwProcessId);
    return window != nullptr && EndSession(window, program.hProcess);
  }
  for (const auto& [name, value] : kConsoleEvents) {
    if (event != name) continue;
    const ULONGLONG sent = GetTickCount64();
    return SendConsoleEvent(program.hProcess, value) && PrintEnd(program.hProcess, sent);
  }
  return false;
}

// argv: end-console EVENT MOMENT OUTPUT PROGRAM ARG...
int EndConsole(int argc, wchar_t* argv[]) {
  const char* moment = MomentLine(argv[3]);
  const wchar_t* output = argv[4];
  const PROCESS_INFORMATION program = Start(argv + 5, argc - 5, output);
  if (program.hProcess == nullptr || moment == nullptr) return Fail("cannot start the program");
  const bool come = WaitFor([&] {
    return Shows(output, moment) || WaitForSingleObject(program.hProcess, 0) == WAIT_OBJECT_0;
  }) && Shows(output, moment);
  const bool ended = come && EndWith(argv[2], program);
  TerminateProcess(program.hProcess, 1);  // one that a failed check left running
  CloseHandle(program.hThread);
  CloseHandle(program.hProcess);
  return ended ? 0 : Fail(come ? "the event did not end the program" : "the moment did not come");
}

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  if (argc < 2) return Fail("no command");
  const std::wstring command = argv[1];
  const int number = argc > 2 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 0;

  if (command == L"end-console" && argc > 5) return EndConsole(argc, argv);
  if (command == L"wait-closed") {
    return WaitFor([] { return Window() == nullptr; }) ? 0 : Fail("the window stays open");
  }
  if (!WaitFor([] { return Window() != nullptr; })) return Fail("no window");
  const HWND window = Window();

  if (command == L"wait-log" && argc > 2) {
    const std::wstring which = argv[2];
    const std::wstring line = which == L"success" ? L"Установка новой версии прошла успешно!"
                                                  : L"Выполнение прервано пользователем";
    return WaitForLogEnd(line) ? 0 : Fail("the log does not end with that line");
  }
  if (command == L"wait-progress") {
    return WaitFor([window, number] {
             return SendDlgItemMessageW(window, kProgressBar, PBM_GETPOS, 0, 0) >= number;
           })
               ? 0
               : Fail("the progress bar stays behind");
  }
  if (command == L"point" || command == L"rect") {
    RECT place;
    GetWindowRect(command == L"point" ? GetDlgItem(window, number) : window, &place);
    if (command == L"point") {
      std::printf("%ld %ld\n", (place.left + place.right) / 2, (place.top + place.bottom) / 2);
    } else {
      std::printf("%ld %ld %ld %ld\n", place.left, place.top, place.right - place.left,
                  place.bottom - place.top);
    }
    return 0;
  }
  if (command == L"log") {
    Print(TextOf(GetDlgItem(window, kLogPane)));
    return 0;
  }
  if (command == L"press") {
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(number, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(window, number)));
    return 0;
  }
  if (command == L"confirm") {
    HWND box = nullptr;
    if (!WaitFor([&box] { return (box = FindWindowW(L"#32770", kBoxCaption)) != nullptr; })) {
      return Fail("no box");
    }
    PostMessageW(box, WM_COMMAND, IDOK, 0);
    return 0;
  }
  if (command == L"end-session") {
    DWORD process_id = 0;
    GetWindowThreadProcessId(window, &process_id);
    const HANDLE process =
        OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process_id);
    const bool ended = process != nullptr && EndSession(window, process);
    if (process != nullptr) CloseHandle(process);
    return ended ? 0 : Fail("the session's end did not end the program");
  }
  return Fail("unknown command");
}
