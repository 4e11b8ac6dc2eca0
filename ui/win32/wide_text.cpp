#include "ui/win32/wide_text.h"

#include <windows.h>

#include "core/cp1251.h"

namespace zelt20 {

std::wstring WideText(std::string_view cp1251_text) {
  const std::u16string text = Cp1251ToUtf16(cp1251_text);
  return {text.begin(), text.end()};
}

std::string Cp1251Text(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, utf8.data(), size, nullptr, nullptr);
  return Utf8ToCp1251(utf8);
}

}  // namespace zelt20
