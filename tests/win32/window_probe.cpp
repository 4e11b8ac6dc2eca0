// Watches the window of a running zelt20-installer.exe from outside, as
// another program on the same desktop would, for scripts that drive the
// window with keys (scripts/windows-test.sh, tools/screenshot-windows.sh).
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
//
// Every wait ends after a bound far beyond a passing run (exit status 1).
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

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

}  // namespace

int wmain(int argc, wchar_t* argv[]) {
  if (argc < 2) return Fail("no command");
  const std::wstring command = argv[1];
  const int number = argc > 2 ? static_cast<int>(std::wcstol(argv[2], nullptr, 10)) : 0;

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
  return Fail("unknown command");
}
