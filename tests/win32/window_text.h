// What the Windows tests read from the installer's window, in this process
// or another one.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

namespace zelt20::test {

// The window's caption as the wide-character calls show it.
inline constexpr wchar_t kWindowCaption[] = L"Установщик рабочей программы для станции ZELT20";

// A window's or control's text; WM_GETTEXT also reads another process's
// controls.
inline std::wstring TextOf(HWND window) {
  const auto length = SendMessageW(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(length));
  return text;
}

}  // namespace zelt20::test
