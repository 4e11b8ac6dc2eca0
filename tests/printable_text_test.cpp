// Text from outside the program as the console shows it: every control
// character and every byte that is no UTF-8 escaped, everything else as it
// is, and the width a table gives it.
#include "core/printable_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text_table.h"

namespace zelt20 {
namespace {

TEST(PrintableText, EscapesControlsAndBytesThatAreNoUtf8AndCountsWhatItShows) {
  const struct {
    const char* kind;
    std::string text;
    std::string shown;
    std::size_t width;
  } rows[] = {
      {"newline", "1\n2", R"(1\n2)", 4},
      {"carriage return, tab", "\r\t", R"(\r\t)", 4},
      {"escape sequence", "\x1b[2J", R"(\x1b[2J)", 7},
      {"C1 control U+009B", "a\xc2\x9b", R"(a\u009b)", 7},
      {"DEL", "\x7f", R"(\x7f)", 4},
      {"invalid UTF-8", "5\xff", R"(5\xff)", 5},
      {"a sequence cut short", "\xe2\x86", R"(\xe2\x86)", 8},
      {"an overlong NUL", "\xc0\x80", R"(\xc0\x80)", 8},
      {"Cyrillic, the arrow, a Windows path", R"(Ввод → \\.\COM5)", R"(Ввод → \\.\COM5)", 15},
  };
  for (const auto& row : rows) {
    const std::string shown = PrintableText(row.text);
    EXPECT_EQ(shown, row.shown) << row.kind;
    EXPECT_EQ(TextWidth(shown), row.width) << row.kind;
  }
}

}  // namespace
}  // namespace zelt20
