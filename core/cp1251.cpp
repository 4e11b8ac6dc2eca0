#include "core/cp1251.h"

namespace zelt20 {
namespace {

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

}  // namespace

std::string Cp1251ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) AppendUtf8(out, cp1251_detail::DecodeByte(static_cast<unsigned char>(c)));
  return out;
}

std::u16string Cp1251ToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  for (char c : text) out += cp1251_detail::DecodeByte(static_cast<unsigned char>(c));
  return out;
}

std::string Utf8ToCp1251(std::string_view text) {
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    out += cp1251_detail::EncodeByte(cp1251_detail::DecodeUtf8(text, i)).value_or('?');
  }
  return out;
}

}  // namespace zelt20
