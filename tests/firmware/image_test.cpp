#include "firmware/image.hpp"

#include <gtest/gtest.h>

#include <string_view>
#include <vector>

namespace {

TEST(ImageChecksum, SumPlusTwiceTheLengthPlusOne) {
  EXPECT_EQ(firmware::ImageChecksum(nullptr, 0), 1u);
  constexpr std::string_view abc = "abc";
  EXPECT_EQ(firmware::ImageChecksum(reinterpret_cast<const std::uint8_t*>(abc.data()), abc.size()), 0x12Du);
  const std::vector<std::uint8_t> erased(16384, 0xFF);
  EXPECT_EQ(firmware::ImageChecksum(erased), 0x00404001u);
  // Wraps modulo 2^32 rather than saturating.
  const std::vector<std::uint8_t> big(17u << 20, 0xFF);
  EXPECT_EQ(firmware::ImageChecksum(big), static_cast<std::uint32_t>(0xFFull * big.size() + 2 * big.size() + 1));
}

TEST(WordXorChecksum, LittleEndianWordsWithErasedBytesPastTheBuffer) {
  const std::vector<std::uint8_t> bytes = {0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09};
  EXPECT_EQ(firmware::WordXorChecksum(bytes, 0), 0u);
  EXPECT_EQ(firmware::WordXorChecksum(bytes, 8), 0x04030201u ^ 0x08070605u);
  // n = 5 takes the whole second word, which reaches past n into the buffer.
  EXPECT_EQ(firmware::WordXorChecksum(bytes, 5), 0x04030201u ^ 0x08070605u);
  // n = 9: the third word holds 0x09 and three bytes beyond the buffer, read as 0xFF.
  EXPECT_EQ(firmware::WordXorChecksum(bytes, 9), 0x04030201u ^ 0x08070605u ^ 0xFFFFFF09u);
}

TEST(Pages, RoundToTheFamilyTypesPage) {
  constexpr std::uint16_t k8Bit = 0x1000;
  constexpr std::uint16_t k32Bit = 0x2805;
  struct Case {
    std::uint64_t n;
    std::uint16_t code;
    std::uint64_t count, rounded;
  } cases[] = {{0, k8Bit, 0, 0},       {1, k8Bit, 1, 128},      {100, k8Bit, 1, 128},   {128, k8Bit, 1, 128},
               {129, k8Bit, 2, 256},   {16384, k8Bit, 128, 16384}, {0, k32Bit, 0, 0},   {1, k32Bit, 1, 512},
               {4097, k32Bit, 9, 4608}, {0x0800, 0x0800, 4, 2048}};
  for (const Case& c : cases) {
    EXPECT_EQ(firmware::PageCount(c.n, c.code), c.count) << c.n << " " << c.code;
    EXPECT_EQ(firmware::PageRound(c.n, c.code), c.rounded) << c.n << " " << c.code;
  }
  EXPECT_EQ(firmware::PageSize(0x0700), 128u);  // only the value 0x800 is the 32-bit type
}

TEST(FlashClassCapacity, TableWithoutTheClassesThatHaveNone) {
  struct Case {
    std::uint16_t flashClass;
    std::optional<std::uint64_t> max;
    std::size_t blank;
  } cases[] = {{0x0, 8192, 8192},   {0x1, 16384, 16384}, {0x2, 32768, 32768}, {0x3, 65536, 65536},
               {0x4, 131072, 131072}, {0x5, 18432, 18432}, {0x6, 4096, 4096},  {0x7, std::nullopt, 0},
               {0x8, std::nullopt, 0}, {0x9, 4096, 4608},   {0xA, 8192, 8704},   {0xF, std::nullopt, 0}};
  for (const Case& c : cases) {
    const auto code = static_cast<std::uint16_t>((c.flashClass << 12) | 0x0305);
    EXPECT_EQ(firmware::ClassMaxLength(code), c.max) << c.flashClass;
    EXPECT_EQ(firmware::BlankViewLength(code), c.blank) << c.flashClass;
  }
}

}  // namespace
