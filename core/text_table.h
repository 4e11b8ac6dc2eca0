// Rows of text cells set out in columns, for the console's tables and the
// history.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zelt20 {

using TableRow = std::vector<std::string>;

// One line per row ("\n" after each), every column as wide as its widest
// cell (UTF-8 text counted in characters) and two blanks between columns;
// no blanks at the end of a line.
std::string FormatTable(const std::vector<TableRow>& rows);

// How many characters a UTF-8 text shows.
std::size_t TextWidth(std::string_view utf8);

}  // namespace zelt20
