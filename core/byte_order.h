// Little-endian words (16 bits) and longs (32 bits), the byte order of the
// station's packets, of its information record and of the firmware image.
#pragma once

#include <cstdint>

namespace zelt20 {

constexpr std::uint16_t ReadWord(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

constexpr void WriteWord(std::uint8_t* bytes, std::uint16_t value) {
  bytes[0] = static_cast<std::uint8_t>(value);
  bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

constexpr std::uint32_t ReadLong(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(ReadWord(bytes)) |
         static_cast<std::uint32_t>(ReadWord(bytes + 2)) << 16;
}

constexpr void WriteLong(std::uint8_t* bytes, std::uint32_t value) {
  WriteWord(bytes, static_cast<std::uint16_t>(value));
  WriteWord(bytes + 2, static_cast<std::uint16_t>(value >> 16));
}

}  // namespace zelt20
