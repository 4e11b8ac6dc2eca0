#include "core/cp1251.h"

namespace zelt20 {
namespace {

char16_t ToUnicode(unsigned char byte) {
  return byte < 0x80 ? char16_t{byte} : cp1251_detail::kHighHalf[byte - 0x80u];
}

void AppendUtf8(std::string& out, char32_t code) {
  if (code < 0x80) {
    out += static_cast<char>(code);
  } else if (code < 0x800) {
    out += static_cast<char>(0xC0 | (code >> 6));
    out += static_cast<char>(0x80 | (code & 0x3F));
  } else {
    out += static_cast<char>(0xE0 | (code >> 12));
    out += static_cast<char>(0x80 | ((code >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (code & 0x3F));
  }
}

char FromUnicode(char32_t code) {
  if (code < 0x80) return static_cast<char>(code);
  for (std::size_t b = 0; b < cp1251_detail::kHighHalf.size(); ++b) {
    if (cp1251_detail::kHighHalf[b] == code && code != 0xFFFD) return static_cast<char>(0x80 + b);
  }
  return '?';
}

}  // namespace

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) AppendUtf8(out, ToUnicode(static_cast<unsigned char>(c)));
  return out;
}

std::u16string Cp1251ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out += ToUnicode(static_cast<unsigned char>(c));
  return out;
}

std::string Utf8ToCp1251(std::string_view text) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    const auto lead = static_cast<unsigned char>(text[i++]);
    const int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
    if (extra < 0) {
      out += '?';
      continue;
    }
    char32_t code = extra == 0 ? lead : lead & (0x3Fu >> extra);
    for (int k = 0; k < extra; ++k) {
      if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
        code = 0xFFFD;
        break;
      }
      code = (code << 6) | (static_cast<unsigned char>(text[i++]) & 0x3Fu);
    }
    out += FromUnicode(code);
  }
  return out;
}

}  // namespace zelt20
