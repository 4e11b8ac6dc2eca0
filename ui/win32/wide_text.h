// Operator text on the Windows screen. The installer keeps its text as
// Windows-1251 bytes; the window shows it through the wide-character calls,
// so the Cyrillic reads right whatever code page Windows runs with.
#pragma once

#include <string>
#include <string_view>

namespace zelt20 {

std::wstring WideText(std::string_view cp1251_text);

// Text from the screen or the command line in the installer's code page;
// a character outside it becomes '?'.
std::string Cp1251Text(std::wstring_view text);

}  // namespace zelt20
