#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <memory>
#include <random>
#include <vector>

#include "firmware/cipher/aes.hpp"

namespace {

cipher::AesBlock block(std::initializer_list<std::uint8_t> bytes) {
  cipher::AesBlock b{};
  std::copy(bytes.begin(), bytes.end(), b.begin());
  return b;
}

std::vector<std::uint8_t> opensslEncrypt(const cipher::AesKey& key, const std::vector<std::uint8_t>& plain) {
  std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)> ctx(EVP_CIPHER_CTX_new(), EVP_CIPHER_CTX_free);
  std::vector<std::uint8_t> out(plain.size() + 16);
  int n = 0, last = 0;
  EXPECT_EQ(EVP_EncryptInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr, key.data(), nullptr), 1);
  EVP_CIPHER_CTX_set_padding(ctx.get(), 0);
  EXPECT_EQ(EVP_EncryptUpdate(ctx.get(), out.data(), &n, plain.data(), static_cast<int>(plain.size())), 1);
  EXPECT_EQ(EVP_EncryptFinal_ex(ctx.get(), out.data() + n, &last), 1);
  out.resize(static_cast<std::size_t>(n + last));
  return out;
}

TEST(CAES, DecipheringTheFips197ExampleGivesItsPlainText) {
  // FIPS-197 appendix C.1.
  cipher::CAES aes(block({0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0a, 0x0b, 0x0c, 0x0d, 0x0e, 0x0f}));
  auto plain = aes.decryptBlock(
      block({0x69, 0xc4, 0xe0, 0xd8, 0x6a, 0x7b, 0x04, 0x30, 0xd8, 0xcd, 0xb7, 0x80, 0x70, 0xb4, 0xc5, 0x5a}));
  EXPECT_EQ(plain, block({0x00, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99, 0xaa, 0xbb, 0xcc, 0xdd, 0xee, 0xff}));
}

TEST(CAES, KeyScheduleMatchesFips197AppendixA1) {
  cipher::CAES aes(block({0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6, 0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c}));
  EXPECT_EQ(aes.roundKey(0), block({0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6, 0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf,
                                    0x4f, 0x3c}));
  EXPECT_EQ(aes.roundKey(1), block({0xa0, 0xfa, 0xfe, 0x17, 0x88, 0x54, 0x2c, 0xb1, 0x23, 0xa3, 0x39, 0x39, 0x2a, 0x6c,
                                    0x76, 0x05}));
  EXPECT_EQ(aes.roundKey(10), block({0xd0, 0x14, 0xf9, 0xa8, 0xc9, 0xee, 0x25, 0x89, 0xe1, 0x3f, 0x0c, 0xc8, 0xb6, 0x63,
                                     0x0c, 0xa6}));
  EXPECT_THROW(aes.roundKey(11), std::out_of_range);
  EXPECT_THROW(aes.roundKey(-1), std::out_of_range);
}

TEST(CAES, TablesAreTheFips197SBoxAndItsInverse) {
  const auto& s = cipher::CAES::sbox();
  const auto& inv = cipher::CAES::inverseSbox();
  EXPECT_EQ(s[0x00], 0x63);
  EXPECT_EQ(s[0x01], 0x7c);
  EXPECT_EQ(s[0xff], 0x16);
  EXPECT_EQ(inv[0x00], 0x52);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(inv[s[static_cast<std::size_t>(i)]], i);
}

TEST(CAES, WholeBlocksUndoOpenSslAes128Ecb) {
  std::mt19937 rng(20240611);
  for (int trial = 0; trial < 32; ++trial) {
    cipher::AesKey key;
    for (auto& b : key) b = static_cast<std::uint8_t>(rng());
    std::vector<std::uint8_t> plain(16 * (1 + trial % 4));
    for (auto& b : plain) b = static_cast<std::uint8_t>(rng());
    const auto sealed = opensslEncrypt(key, plain);
    ASSERT_EQ(sealed.size(), plain.size());

    const std::string opened = cipher::CAES(key).decryptToString(sealed.data(), sealed.size());
    EXPECT_EQ(std::vector<std::uint8_t>(opened.begin(), opened.end()), plain) << "trial " << trial;
  }
}

TEST(CAES, PartialFinalBlockIsXoredWithFirstBytesOfRoundKeys) {
  // 20 bytes: round keys 0..3 for the last four; 15 bytes: i mod 11 wraps to round keys 0..3 at 11..14.
  const cipher::AesKey key =
      block({0x2b, 0x7e, 0x15, 0x16, 0x28, 0xae, 0xd2, 0xa6, 0xab, 0xf7, 0x15, 0x88, 0x09, 0xcf, 0x4f, 0x3c});
  const cipher::CAES aes(key);
  std::vector<std::uint8_t> wholeBlock(16, 0x5A);
  const auto sealed = opensslEncrypt(key, wholeBlock);

  std::vector<std::uint8_t> twenty(sealed);
  twenty.insert(twenty.end(), {0x10, 0x20, 0x30, 0x40});
  const std::string out20 = aes.decryptToString(twenty.data(), twenty.size());
  ASSERT_EQ(out20.size(), 20U);
  EXPECT_EQ(out20.substr(0, 16), std::string(16, '\x5A'));
  // Byte 0 of round keys 0..3 of this key (FIPS-197 A.1): 2b a0 f2 3d.
  const std::uint8_t rk0[] = {0x2b, 0xa0, 0xf2, 0x3d};
  const std::uint8_t tail[] = {0x10, 0x20, 0x30, 0x40};
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(static_cast<std::uint8_t>(out20[16 + i]), tail[i] ^ rk0[i]) << i;
  }

  std::vector<std::uint8_t> fifteen(15, 0x00);
  const std::string out15 = aes.decryptToString(fifteen.data(), fifteen.size());
  ASSERT_EQ(out15.size(), 15U);
  for (std::size_t i = 0; i < 15; ++i) {
    EXPECT_EQ(static_cast<std::uint8_t>(out15[i]), aes.roundKey(static_cast<int>(i % 11))[0]) << i;
  }
  EXPECT_EQ(static_cast<std::uint8_t>(out15[11]), 0x2b);

  EXPECT_EQ(aes.decryptToString(nullptr, 0), "");
}

TEST(AesDecryptToString, UsesTheStoredKey) {
  const std::vector<std::uint8_t> plain = {'u', 'p', 'd', 'a', 't', 'e', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 2, 3};
  std::vector<std::uint8_t> sealed = opensslEncrypt(cipher::storedAesKey(), {plain.begin(), plain.begin() + 16});
  sealed.insert(sealed.end(), plain.begin() + 16, plain.end());
  const std::string out = cipher::AesDecryptToString(sealed.data(), sealed.size());
  EXPECT_EQ(out.substr(0, 16), std::string("update\0\0\0\0\0\0\0\0\0\0", 16));
  EXPECT_EQ(out.substr(16), cipher::CAES(cipher::storedAesKey()).decryptToString(sealed.data() + 16, 3));
}

}  // namespace
