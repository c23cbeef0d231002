#pragma once
// AES-128 inverse cipher (FIPS-197), ECB, for the settings strings that ship enciphered in the
// program. Only deciphering lives here: the forward direction is needed at build time alone, by
// the generator that seals the strings.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace cipher {

using AesKey = std::array<std::uint8_t, 16>;
using AesBlock = std::array<std::uint8_t, 16>;

// The key the program's enciphered strings were sealed with (generated at build time).
const AesKey& storedAesKey();

class CAES {
 public:
  // The stored key.
  CAES();
  explicit CAES(const AesKey& key);
  virtual ~CAES();
  CAES(const CAES&) = default;
  CAES& operator=(const CAES&) = default;

  AesBlock decryptBlock(const AesBlock& in) const;

  // Whole 16-byte blocks are deciphered; a final partial block of n bytes is not, its byte i is
  // XOR-ed with byte 0 of round key (i mod 11). The result has exactly `length` bytes.
  std::string decryptToString(const std::uint8_t* bytes, std::size_t length) const;

  // Round key 0..10 of the key schedule (round key 0 is the key itself).
  AesBlock roundKey(int round) const;

  static const std::array<std::uint8_t, 256>& sbox();
  static const std::array<std::uint8_t, 256>& inverseSbox();

 private:
  std::array<std::uint8_t, 176> roundKeys_{};
};

// Deciphers with a fresh CAES on the stored key.
std::string AesDecryptToString(const std::uint8_t* bytes, std::size_t length);

}  // namespace cipher
