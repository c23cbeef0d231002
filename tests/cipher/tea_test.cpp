#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <vector>

#include "firmware/cipher/tea.hpp"

namespace {

constexpr cipher::TeaKeyBytes kZeroKey{};

TEST(TeaEncrypt, MatchesTheReferenceVectorForZeroKeyAndBlock) {
  // Wheeler and Needham's TEA, key 0 and block 0: 41EA3A0A 94BAA940. The words are big-endian,
  // so the bytes come out in the order the reference prints them.
  std::array<std::uint8_t, 8> block{};
  cipher::TeaEncrypt(block.data(), block.size(), kZeroKey);
  EXPECT_EQ(block, (std::array<std::uint8_t, 8>{0x41, 0xEA, 0x3A, 0x0A, 0x94, 0xBA, 0xA9, 0x40}));
  cipher::TeaDecrypt(block.data(), block.size(), kZeroKey);
  EXPECT_EQ(block, (std::array<std::uint8_t, 8>{}));
}

TEST(TeaEncrypt, WorksOnWholeBlocksAndLeavesTheTailPlain) {
  // Lengths around block boundaries, with the reference block repeated: ECB without chaining.
  const std::array<std::uint8_t, 8> reference{0x41, 0xEA, 0x3A, 0x0A, 0x94, 0xBA, 0xA9, 0x40};
  for (std::size_t length : {0U, 7U, 8U, 12U, 16U, 23U}) {
    SCOPED_TRACE(length);
    std::vector<std::uint8_t> buffer(length + 4, 0);
    for (std::size_t i = length - length % 8; i < buffer.size(); ++i) buffer[i] = static_cast<std::uint8_t>(0xA0 + i);
    const std::vector<std::uint8_t> plain = buffer;

    cipher::TeaEncrypt(buffer.data(), length, kZeroKey);
    for (std::size_t off = 0; off + 8 <= length; off += 8) {
      EXPECT_TRUE(std::equal(reference.begin(), reference.end(), buffer.begin() + static_cast<std::ptrdiff_t>(off)));
    }
    for (std::size_t i = length - length % 8; i < buffer.size(); ++i) EXPECT_EQ(buffer[i], plain[i]) << i;

    cipher::TeaDecrypt(buffer.data(), length, kZeroKey);
    EXPECT_EQ(buffer, plain);
  }
}

TEST(TeaEncrypt, LengthZeroTouchesNothing) {
  cipher::TeaEncrypt(nullptr, 0, cipher::kBuiltInTeaKey);
  std::array<std::uint8_t, 8> block{1, 2, 3, 4, 5, 6, 7, 8};
  const auto before = block;
  cipher::TeaDecrypt(block.data(), 0, cipher::kBuiltInTeaKey);
  EXPECT_EQ(block, before);
}

TEST(TeaEncrypt, KeyBytesAreBigEndianWords) {
  // The zero key cannot tell byte orders apart; the built-in key can. Its words are the
  // characters read four at a time, high byte first, unlike the transport's order.
  std::array<std::uint8_t, 8> files{};
  cipher::TeaEncrypt(files.data(), files.size(), cipher::kBuiltInTeaKey);

  std::array<std::uint8_t, 8> manual{};
  std::uint32_t y = 0, z = 0;
  cipher::TeaKey k = {0x4D41504CU, 0x455F5749U, 0x4E445F56U, 0x322E3721U};  // "MAPL" "E_WI" "ND_V" "2.7!"
  cipher::teaEncipherBlock(y, z, k);
  for (int i = 0; i < 4; ++i) {
    manual[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(y >> (24 - 8 * i));
    manual[static_cast<std::size_t>(4 + i)] = static_cast<std::uint8_t>(z >> (24 - 8 * i));
  }
  EXPECT_EQ(files, manual);

  std::array<std::uint8_t, 8> transport{};
  cipher::teaEncipher(transport.data(), transport.size(),
                      cipher::teaKeyFromBytes(cipher::kBuiltInTeaKey.data(), cipher::WordOrder::LittleEndian),
                      cipher::WordOrder::LittleEndian);
  EXPECT_NE(files, transport);
}

TEST(TeaEncrypt, RoundTripsUnderTheBuiltInKey) {
  std::vector<std::uint8_t> data(261);
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<std::uint8_t>(i * 37 + 11);
  auto work = data;
  cipher::TeaEncrypt(work.data(), work.size(), cipher::kBuiltInTeaKey);
  EXPECT_NE(work, data);
  cipher::TeaDecrypt(work.data(), work.size(), cipher::kBuiltInTeaKey);
  EXPECT_EQ(work, data);
}

}  // namespace
