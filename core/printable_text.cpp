#include "core/printable_text.h"

#include <optional>

namespace zelt20 {
namespace {

struct CodePoint {
  char32_t code = 0;
  std::size_t length = 0;  // bytes
};

unsigned char ByteAt(std::string_view text, std::size_t at) { return static_cast<unsigned char>(text[at]); }

// The code point whose UTF-8 sequence starts at text[at]; none for a byte
// that starts no valid one. Stricter than the operator text's decoding: an
// overlong form, a surrogate or a sequence cut short would otherwise hide a
// control character or swallow the bytes after it.
std::optional<CodePoint> CodePointAt(std::string_view text, std::size_t at) {
  const unsigned char lead = ByteAt(text, at);
  if (lead < 0x80) return CodePoint{lead, 1};
  const std::size_t length = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 0;
  if (length == 0 || at + length > text.size()) return std::nullopt;
  char32_t code = lead & (0x7Fu >> length);
  for (std::size_t k = 1; k < length; ++k) {
    const unsigned char next = ByteAt(text, at + k);
    if ((next & 0xC0u) != 0x80u) return std::nullopt;
    code = (code << 6) | (next & 0x3Fu);
  }
  constexpr char32_t kLeastOfLength[] = {0, 0, 0x80, 0x800, 0x10000};
  if (code < kLeastOfLength[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    return std::nullopt;
  }
  return CodePoint{code, length};
}

bool IsControl(char32_t code) { return code < 0x20 || (code >= 0x7F && code <= 0x9F); }

// A backslash, the letter, and the value in that many lower-case
// hexadecimal digits: "\x1b", "\u009b".
std::string HexEscape(char letter, char32_t value, int digits) {
  constexpr char kDigits[] = "0123456789abcdef";
  std::string text = {'\\', letter};
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) text += kDigits[(value >> shift) & 0xFu];
  return text;
}

std::string EscapedControl(char32_t code) {
  switch (code) {
    case '\n': return "\\n";
    case '\r': return "\\r";
    case '\t': return "\\t";
  }
  return code < 0x80 ? HexEscape('x', code, 2) : HexEscape('u', code, 4);
}

}  // namespace

std::string PrintableText(std::string_view utf8) {
  std::string text;
  for (std::size_t at = 0; at < utf8.size();) {
    const std::optional<CodePoint> point = CodePointAt(utf8, at);
    if (!point) {
      text += HexEscape('x', ByteAt(utf8, at), 2);
      ++at;
      continue;
    }
    if (IsControl(point->code)) {
      text += EscapedControl(point->code);
    } else {
      text += utf8.substr(at, point->length);
    }
    at += point->length;
  }
  return text;
}

}  // namespace zelt20
