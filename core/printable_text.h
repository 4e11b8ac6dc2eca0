// Text that came from outside the program (a port text, a record's fields,
// a file name) as a terminal and a table may show it: no control character
// reaches the terminal and none can start a line of its own.
#pragma once

#include <string>
#include <string_view>

namespace zelt20 {

// The UTF-8 text with every control character escaped: "\n", "\r", "\t";
// the other C0 controls and DEL as "\x1b"; the C1 controls (U+0080 to
// U+009F) as "\u009b"; and each byte that is no part of valid UTF-8 as
// "\xff" (hexadecimal digits in lower case). Everything else stays as it
// is, backslashes included.
std::string PrintableText(std::string_view utf8);

}  // namespace zelt20
