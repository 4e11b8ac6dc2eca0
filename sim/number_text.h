// Whole unsigned numbers in option and fault texts.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

namespace zelt20::sim {

// The whole text as a number in `base`; none for anything else (empty text,
// signs, trailing characters, overflow).
inline std::optional<std::uint32_t> ParseUnsigned(std::string_view text, int base = 10) {
  std::uint32_t value = 0;
  const char* end = text.data() + text.size();
  const auto [stop, failure] = std::from_chars(text.data(), end, value, base);
  if (text.empty() || failure != std::errc() || stop != end) return std::nullopt;
  return value;
}

}  // namespace zelt20::sim
