#include "core/text_table.h"

#include <algorithm>

namespace zelt20 {

std::size_t TextWidth(std::string_view utf8) {
  // Every byte but a continuation byte (10xxxxxx) starts a character.
  return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
    return (static_cast<unsigned char>(c) & 0xC0u) != 0x80u;
  }));
}

std::string FormatTable(const std::vector<TableRow>& rows) {
  std::vector<std::size_t> widths;
  for (const TableRow& row : rows) {
    widths.resize(std::max(widths.size(), row.size()));
    for (std::size_t column = 0; column < row.size(); ++column) {
      widths[column] = std::max(widths[column], TextWidth(row[column]));
    }
  }
  std::string text;
  for (const TableRow& row : rows) {
    std::string line;
    for (std::size_t column = 0; column < row.size(); ++column) {
      if (column > 0) line.append(2, ' ');
      line += row[column];
      line.append(widths[column] - TextWidth(row[column]), ' ');
    }
    line.erase(line.find_last_not_of(' ') + 1);
    text += line + "\n";
  }
  return text;
}

}  // namespace zelt20
