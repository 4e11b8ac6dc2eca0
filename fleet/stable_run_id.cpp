#include "fleet/stable_run_id.h"

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace zelt20 {
namespace {

// The namespace of these ids, a random UUID of this program's own:
// 6f1c2a9e-4b7d-4e02-9a51-3c8d5e7f1b20.
constexpr std::array<std::uint8_t, 16> kRecordLineNamespace = {
    0x6f, 0x1c, 0x2a, 0x9e, 0x4b, 0x7d, 0x4e, 0x02, 0x9a, 0x51, 0x3c, 0x8d, 0x5e, 0x7f, 0x1b, 0x20};

std::uint32_t RotateLeft(std::uint32_t value, int bits) { return (value << bits) | (value >> (32 - bits)); }

// SHA-1 (FIPS 180-4) of the bytes.
std::array<std::uint8_t, 20> Sha1(const std::vector<std::uint8_t>& bytes) {
  std::uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::vector<std::uint8_t> message = bytes;
  const std::uint64_t bit_length = static_cast<std::uint64_t>(bytes.size()) * 8;
  message.push_back(0x80);
  while (message.size() % 64 != 56) message.push_back(0);
  for (int shift = 56; shift >= 0; shift -= 8) message.push_back(static_cast<std::uint8_t>(bit_length >> shift));
  for (std::size_t block = 0; block < message.size(); block += 64) {
    std::uint32_t w[80];
    for (int i = 0; i < 16; ++i) {
      const std::uint8_t* at = &message[block + 4 * static_cast<std::size_t>(i)];
      w[i] = (std::uint32_t{at[0]} << 24) | (std::uint32_t{at[1]} << 16) | (std::uint32_t{at[2]} << 8) | at[3];
    }
    for (int i = 16; i < 80; ++i) w[i] = RotateLeft(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    std::uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
    for (int i = 0; i < 80; ++i) {
      std::uint32_t f = 0, k = 0;
      if (i < 20) {
        f = (b & c) | (~b & d), k = 0x5A827999;
      } else if (i < 40) {
        f = b ^ c ^ d, k = 0x6ED9EBA1;
      } else if (i < 60) {
        f = (b & c) | (b & d) | (c & d), k = 0x8F1BBCDC;
      } else {
        f = b ^ c ^ d, k = 0xCA62C1D6;
      }
      const std::uint32_t next = RotateLeft(a, 5) + f + e + k + w[i];
      e = d, d = c, c = RotateLeft(b, 30), b = a, a = next;
    }
    h[0] += a, h[1] += b, h[2] += c, h[3] += d, h[4] += e;
  }
  std::array<std::uint8_t, 20> digest{};
  for (std::size_t i = 0; i < 20; ++i) digest[i] = static_cast<std::uint8_t>(h[i / 4] >> (24 - 8 * (i % 4)));
  return digest;
}

}  // namespace

std::string StableRunId(std::string_view record_line) {
  std::vector<std::uint8_t> name(kRecordLineNamespace.begin(), kRecordLineNamespace.end());
  name.insert(name.end(), record_line.begin(), record_line.end());
  std::array<std::uint8_t, 20> digest = Sha1(name);
  digest[6] = static_cast<std::uint8_t>((digest[6] & 0x0F) | 0x50);  // version 5
  digest[8] = static_cast<std::uint8_t>((digest[8] & 0x3F) | 0x80);  // RFC 4122 variant
  std::string id;
  for (std::size_t i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) id += '-';
    char hex[3];
    std::snprintf(hex, sizeof hex, "%02x", digest[i]);
    id += hex;
  }
  return id;
}

}  // namespace zelt20
