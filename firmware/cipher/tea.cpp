#include "firmware/cipher/tea.hpp"

namespace cipher {
namespace {

constexpr std::uint32_t kDelta = 0x9E3779B9;
constexpr std::uint32_t kDecipherSum = 0xC6EF3720;  // kDelta * 32 mod 2^32

std::uint32_t loadWord(const std::uint8_t* p, WordOrder order) {
  if (order == WordOrder::BigEndian) {
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
  }
  return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) | p[0];
}

void storeWord(std::uint8_t* p, std::uint32_t v, WordOrder order) {
  for (int i = 0; i < 4; ++i) {
    int shift = order == WordOrder::BigEndian ? 24 - 8 * i : 8 * i;
    p[i] = static_cast<std::uint8_t>(v >> shift);
  }
}

template <typename BlockFn>
void forEachBlock(std::uint8_t* data, std::size_t length, const TeaKey& key, WordOrder order, BlockFn fn) {
  for (std::size_t off = 0; off + 8 <= length; off += 8) {
    std::uint32_t y = loadWord(data + off, order);
    std::uint32_t z = loadWord(data + off + 4, order);
    fn(y, z, key);
    storeWord(data + off, y, order);
    storeWord(data + off + 4, z, order);
  }
}

}  // namespace

void teaEncipherBlock(std::uint32_t& y, std::uint32_t& z, const TeaKey& k) {
  std::uint32_t sum = 0;
  for (int i = 0; i < 32; ++i) {
    sum += kDelta;
    y += ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    z += ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
  }
}

void teaDecipherBlock(std::uint32_t& y, std::uint32_t& z, const TeaKey& k) {
  std::uint32_t sum = kDecipherSum;
  for (int i = 0; i < 32; ++i) {
    z -= ((y << 4) + k[2]) ^ (y + sum) ^ ((y >> 5) + k[3]);
    y -= ((z << 4) + k[0]) ^ (z + sum) ^ ((z >> 5) + k[1]);
    sum -= kDelta;
  }
}

TeaKey teaKeyFromBytes(const std::uint8_t* key16, WordOrder order) {
  return {loadWord(key16, order), loadWord(key16 + 4, order), loadWord(key16 + 8, order),
          loadWord(key16 + 12, order)};
}

void teaEncipher(std::uint8_t* data, std::size_t length, const TeaKey& key, WordOrder order) {
  forEachBlock(data, length, key, order, teaEncipherBlock);
}

void teaDecipher(std::uint8_t* data, std::size_t length, const TeaKey& key, WordOrder order) {
  forEachBlock(data, length, key, order, teaDecipherBlock);
}

void TeaEncrypt(std::uint8_t* buffer, std::size_t length, const TeaKeyBytes& key) {
  teaEncipher(buffer, length, teaKeyFromBytes(key.data(), WordOrder::BigEndian), WordOrder::BigEndian);
}

void TeaDecrypt(std::uint8_t* buffer, std::size_t length, const TeaKeyBytes& key) {
  teaDecipher(buffer, length, teaKeyFromBytes(key.data(), WordOrder::BigEndian), WordOrder::BigEndian);
}

}  // namespace cipher
