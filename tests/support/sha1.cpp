#include "support/sha1.h"

#include <array>
#include <bit>

#include <fmt/format.h>

namespace talmoor::test {

namespace {

void compress(std::array<std::uint32_t, 5>& state, const std::uint8_t* block) {
  std::array<std::uint32_t, 80> w{};
  for (int i = 0; i < 16; ++i)
    w[i] = std::uint32_t{block[4 * i]} << 24 | std::uint32_t{block[4 * i + 1]} << 16 |
           std::uint32_t{block[4 * i + 2]} << 8 | block[4 * i + 3];
  for (int i = 16; i < 80; ++i) w[i] = std::rotl(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
  auto [a, b, c, d, e] = state;
  for (int i = 0; i < 80; ++i) {
    std::uint32_t f, k;
    if (i < 20) {
      f = (b & c) | (~b & d);
      k = 0x5A827999;
    } else if (i < 40) {
      f = b ^ c ^ d;
      k = 0x6ED9EBA1;
    } else if (i < 60) {
      f = (b & c) | (b & d) | (c & d);
      k = 0x8F1BBCDC;
    } else {
      f = b ^ c ^ d;
      k = 0xCA62C1D6;
    }
    std::uint32_t t = std::rotl(a, 5) + f + e + k + w[i];
    e = d;
    d = c;
    c = std::rotl(b, 30);
    b = a;
    a = t;
  }
  state[0] += a;
  state[1] += b;
  state[2] += c;
  state[3] += d;
  state[4] += e;
}

}  // namespace

std::string sha1Hex(std::span<const std::uint8_t> bytes) {
  std::array<std::uint32_t, 5> state{0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
  std::size_t full = bytes.size() / 64 * 64;
  for (std::size_t at = 0; at < full; at += 64) compress(state, bytes.data() + at);
  // The tail, the 0x80 marker and the bit length, in one or two blocks.
  std::array<std::uint8_t, 128> tail{};
  std::size_t rest = bytes.size() - full;
  std::copy(bytes.begin() + full, bytes.end(), tail.begin());
  tail[rest] = 0x80;
  std::size_t blocks = rest + 9 <= 64 ? 1 : 2;
  std::uint64_t bits = static_cast<std::uint64_t>(bytes.size()) * 8;
  for (int i = 0; i < 8; ++i) tail[blocks * 64 - 1 - i] = static_cast<std::uint8_t>(bits >> (8 * i));
  for (std::size_t i = 0; i < blocks; ++i) compress(state, tail.data() + 64 * i);
  std::string hex;
  for (auto word : state) hex += fmt::format("{:08x}", word);
  return hex;
}

}  // namespace talmoor::test
