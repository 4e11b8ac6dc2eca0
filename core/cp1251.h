// Operator text is kept as Windows-1251 bytes inside the installer, so that
// the 80-byte message buffer and the 64,004-byte log count bytes exactly as
// the station's operators see them. Source files are UTF-8; the _cp1251
// literal converts at compile time and rejects characters outside the code
// page. Front ends convert back with Cp1251ToUtf8 for display.
#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace zelt20 {

// The code page and UTF-8, once: the _cp1251 literal runs these at compile
// time, the conversions below at run time.
namespace cp1251_detail {

// Unicode code points of the bytes 0x80 to 0xFF; 0xFFFD marks the one
// unassigned byte.
inline constexpr std::array<char16_t, 128> kHighHalf = {
    0x0402, 0x0403, 0x201A, 0x0453, 0x201E, 0x2026, 0x2020, 0x2021, 0x20AC, 0x2030, 0x0409,
    0x2039, 0x040A, 0x040C, 0x040B, 0x040F, 0x0452, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0xFFFD, 0x2122, 0x0459, 0x203A, 0x045A, 0x045C, 0x045B, 0x045F, 0x00A0,
    0x040E, 0x045E, 0x0408, 0x00A4, 0x0490, 0x00A6, 0x00A7, 0x0401, 0x00A9, 0x0404, 0x00AB,
    0x00AC, 0x00AD, 0x00AE, 0x0407, 0x00B0, 0x00B1, 0x0406, 0x0456, 0x0491, 0x00B5, 0x00B6,
    0x00B7, 0x0451, 0x2116, 0x0454, 0x00BB, 0x0458, 0x0405, 0x0455, 0x0457, 0x0410, 0x0411,
    0x0412, 0x0413, 0x0414, 0x0415, 0x0416, 0x0417, 0x0418, 0x0419, 0x041A, 0x041B, 0x041C,
    0x041D, 0x041E, 0x041F, 0x0420, 0x0421, 0x0422, 0x0423, 0x0424, 0x0425, 0x0426, 0x0427,
    0x0428, 0x0429, 0x042A, 0x042B, 0x042C, 0x042D, 0x042E, 0x042F, 0x0430, 0x0431, 0x0432,
    0x0433, 0x0434, 0x0435, 0x0436, 0x0437, 0x0438, 0x0439, 0x043A, 0x043B, 0x043C, 0x043D,
    0x043E, 0x043F, 0x0440, 0x0441, 0x0442, 0x0443, 0x0444, 0x0445, 0x0446, 0x0447, 0x0448,
    0x0449, 0x044A, 0x044B, 0x044C, 0x044D, 0x044E, 0x044F,
};

// What DecodeUtf8 gives for bytes that are not UTF-8.
inline constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// Decodes the UTF-8 sequence at text[i] and advances i past it; kNotUtf8
// for a stray continuation byte or a sequence cut short, which leaves i at
// the byte that broke it.
constexpr char32_t DecodeUtf8(std::string_view text, std::size_t& i) {
  const auto lead = static_cast<unsigned char>(text[i++]);
  const int extra = lead < 0x80 ? 0 : lead >= 0xF0 ? 3 : lead >= 0xE0 ? 2 : lead >= 0xC0 ? 1 : -1;
  if (extra < 0) return kNotUtf8;
  char32_t code = extra == 0 ? lead : lead & (0x3Fu >> extra);
  for (int k = 0; k < extra; ++k) {
    if (i >= text.size() || (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) return kNotUtf8;
    code = (code << 6) | (static_cast<unsigned char>(text[i++]) & 0x3Fu);
  }
  return code;
}

// The Windows-1251 byte of a code point; none outside the code page.
constexpr std::optional<char> EncodeByte(char32_t code) {
  if (code < 0x80) return static_cast<char>(code);
  for (std::size_t b = 0; b < kHighHalf.size(); ++b) {
    if (kHighHalf[b] == code && code != 0xFFFD) return static_cast<char>(0x80 + b);
  }
  return std::nullopt;
}

constexpr char16_t DecodeByte(unsigned char byte) {
  return byte < 0x80 ? char16_t{byte} : kHighHalf[byte - 0x80u];
}

template <std::size_t N>
struct Utf8Literal {
  char bytes[N]{};
  consteval Utf8Literal(const char (&text)[N]) {
    for (std::size_t i = 0; i < N; ++i) bytes[i] = text[i];
  }
  consteval std::string_view Text() const { return {bytes, N - 1}; }
};

// One character of an operator text literal; what does not encode stops
// the compilation.
consteval char EncodeLiteralChar(std::string_view text, std::size_t& i) {
  const char32_t code = DecodeUtf8(text, i);
  if (code == kNotUtf8) throw "invalid UTF-8 in an operator text";
  const std::optional<char> byte = EncodeByte(code);
  if (!byte) throw "character outside Windows-1251 in an operator text";
  return *byte;
}

template <Utf8Literal S>
consteval std::size_t EncodedSize() {
  std::size_t count = 0;
  for (std::size_t i = 0; i < S.Text().size(); ++count) EncodeLiteralChar(S.Text(), i);
  return count + 1;
}

template <Utf8Literal S>
consteval std::array<char, EncodedSize<S>()> Encode() {
  std::array<char, EncodedSize<S>()> out{};
  std::size_t i = 0;
  for (std::size_t o = 0; i < S.Text().size(); ++o) out[o] = EncodeLiteralChar(S.Text(), i);
  return out;
}

template <Utf8Literal S>
inline constexpr auto kEncoded = Encode<S>();

}  // namespace cp1251_detail

// "Ошибка:"_cp1251 is the zero-terminated Windows-1251 form of the literal.
template <cp1251_detail::Utf8Literal S>
constexpr const char* operator""_cp1251() {
  return cp1251_detail::kEncoded<S>.data();
}

// For display: Windows-1251 bytes to UTF-8 (and to UTF-16 for toolkits that
// want it).
std::string Cp1251ToUtf8(std::string_view text);
std::u16string Cp1251ToUtf16(std::string_view text);

// For operator input that front ends hand to the core (the port box text):
// characters outside the code page become '?'.
std::string Utf8ToCp1251(std::string_view text);

}  // namespace zelt20
