#include "firmware/image.hpp"

#include <algorithm>

#include "firmware/cipher/tea.hpp"

namespace firmware {

std::vector<std::uint8_t> ProgramBytes(const ProgramImage& image) {
  const std::size_t length = std::min<std::size_t>(image.data.size(), image.m_MaxFileLength);
  std::vector<std::uint8_t> bytes(image.data.begin(), image.data.begin() + static_cast<std::ptrdiff_t>(length));
  if (image.enciphered) cipher::TeaDecrypt(bytes.data(), bytes.size(), cipher::kBuiltInTeaKey);
  return bytes;
}

std::uint32_t ImageChecksum(const std::uint8_t* bytes, std::size_t n) {
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += bytes[i];
  return sum + static_cast<std::uint32_t>(2 * n + 1);
}

std::uint32_t WordXorChecksum(std::span<const std::uint8_t> buffer, std::size_t n) {
  std::uint32_t x = 0;
  for (std::size_t offset = 0; offset < n; offset += 4) {
    std::uint32_t word = 0;
    for (std::size_t b = 0; b < 4; ++b) {
      const std::size_t at = offset + b;
      const std::uint32_t byte = at < buffer.size() ? buffer[at] : 0xFF;
      word |= byte << (8 * b);
    }
    x ^= word;
  }
  return x;
}

std::uint32_t PageSize(std::uint16_t code) { return Is32BitType(code) ? 512 : 128; }

std::uint64_t PageCount(std::uint64_t n, std::uint16_t code) {
  const std::uint64_t page = PageSize(code);
  return (n + page - 1) / page;
}

std::uint64_t PageRound(std::uint64_t n, std::uint16_t code) { return PageCount(n, code) * PageSize(code); }

std::optional<std::uint64_t> ClassMaxLength(std::uint16_t code) {
  switch (FlashClassOf(code)) {
    case 0x0: return 8192;
    case 0x1: return 16384;
    case 0x2: return 32768;
    case 0x3: return 65536;
    case 0x4: return 131072;
    case 0x5: return 18432;
    case 0x6: return 4096;
    case 0x9: return 4096;
    case 0xA: return 8192;
    default: return std::nullopt;
  }
}

std::size_t BlankViewLength(std::uint16_t code) {
  switch (FlashClassOf(code)) {
    case 0x9: return 4608;
    case 0xA: return 8704;
    default: return static_cast<std::size_t>(ClassMaxLength(code).value_or(0));
  }
}

}  // namespace firmware
