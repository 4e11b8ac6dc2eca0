#include "fleet/utf16.h"

namespace zelt20 {
namespace {

constexpr char32_t kReplacement = 0xFFFD;

// The code point at the front of `utf8` and how many bytes it takes; a
// byte that starts no valid sequence is one replaced byte.
std::pair<char32_t, std::size_t> DecodeOne(std::string_view utf8) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(utf8[i]); };
  const unsigned char lead = byte(0);
  if (lead < 0x80) return {lead, 1};
  std::size_t length = 0;
  char32_t code = 0;
  char32_t lowest = 0;
  if ((lead & 0xE0) == 0xC0) {
    length = 2, code = lead & 0x1F, lowest = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    length = 3, code = lead & 0x0F, lowest = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    length = 4, code = lead & 0x07, lowest = 0x10000;
  } else {
    return {kReplacement, 1};
  }
  if (utf8.size() < length) return {kReplacement, 1};
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return {kReplacement, 1};
    code = (code << 6) | (byte(i) & 0x3F);
  }
  const bool surrogate = code >= 0xD800 && code <= 0xDFFF;
  if (code < lowest || code > 0x10FFFF || surrogate) return {kReplacement, 1};
  return {code, length};
}

void AppendUtf8(std::string& text, char32_t code) {
  const auto add = [&](char32_t bits) { text.push_back(static_cast<char>(bits)); };
  if (code < 0x80) {
    add(code);
  } else if (code < 0x800) {
    add(0xC0 | (code >> 6)), add(0x80 | (code & 0x3F));
  } else if (code < 0x10000) {
    add(0xE0 | (code >> 12)), add(0x80 | ((code >> 6) & 0x3F)), add(0x80 | (code & 0x3F));
  } else {
    add(0xF0 | (code >> 18)), add(0x80 | ((code >> 12) & 0x3F)), add(0x80 | ((code >> 6) & 0x3F)),
        add(0x80 | (code & 0x3F));
  }
}

}  // namespace

std::u16string Utf16OfUtf8(std::string_view utf8) {
  std::u16string text;
  text.reserve(utf8.size());
  while (!utf8.empty()) {
    const auto [code, length] = DecodeOne(utf8);
    utf8.remove_prefix(length);
    if (code < 0x10000) {
      text.push_back(static_cast<char16_t>(code));
    } else {
      text.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      text.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    }
  }
  return text;
}

std::string Utf8OfUtf16(std::u16string_view utf16) {
  std::string text;
  text.reserve(utf16.size());
  for (std::size_t i = 0; i < utf16.size(); ++i) {
    const char32_t unit = utf16[i];
    const bool high = unit >= 0xD800 && unit <= 0xDBFF;
    const bool low_follows = i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00 && utf16[i + 1] <= 0xDFFF;
    if (high && low_follows) {
      AppendUtf8(text, 0x10000 + ((unit - 0xD800) << 10) + (utf16[++i] - 0xDC00));
    } else if (unit >= 0xD800 && unit <= 0xDFFF) {
      AppendUtf8(text, kReplacement);
    } else {
      AppendUtf8(text, unit);
    }
  }
  return text;
}

}  // namespace zelt20
