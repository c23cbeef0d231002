#include "firmware/cipher/aes.hpp"

#include <stdexcept>

namespace cipher {
namespace {

// Multiplication in GF(2^8) modulo x^8 + x^4 + x^3 + x + 1 (FIPS-197 4.2).
constexpr std::uint8_t gmul(std::uint8_t a, std::uint8_t b) {
  std::uint8_t p = 0;
  for (int i = 0; i < 8; ++i) {
    if (b & 1) p = static_cast<std::uint8_t>(p ^ a);
    bool carry = (a & 0x80) != 0;
    a = static_cast<std::uint8_t>(a << 1);
    if (carry) a = static_cast<std::uint8_t>(a ^ 0x1B);
    b = static_cast<std::uint8_t>(b >> 1);
  }
  return p;
}

constexpr std::uint8_t rotl8(std::uint8_t v, int n) {
  return static_cast<std::uint8_t>((v << n) | (v >> (8 - n)));
}

// The S-box from its definition (FIPS-197 5.1.1): multiplicative inverse, then the affine map.
// Deriving it avoids 512 hand-copied constants; the tests pin it to the published cipher. The
// inverses come from the powers of the generator 3 (the inverse of 3^i is 3^(255-i)), a few hundred
// steps that every compiler's constant evaluation allows, where a search per byte is not.
constexpr std::array<std::uint8_t, 256> makeSbox() {
  std::array<std::uint8_t, 255> power{};
  power[0] = 1;
  for (std::size_t i = 1; i < power.size(); ++i) power[i] = gmul(power[i - 1], 3);
  std::array<std::uint8_t, 256> inverse{};
  for (std::size_t i = 0; i < power.size(); ++i) inverse[power[i]] = power[(255 - i) % 255];
  std::array<std::uint8_t, 256> box{};
  for (std::size_t x = 0; x < box.size(); ++x) {
    const std::uint8_t inv = inverse[x];
    box[x] = static_cast<std::uint8_t>(inv ^ rotl8(inv, 1) ^ rotl8(inv, 2) ^ rotl8(inv, 3) ^ rotl8(inv, 4) ^ 0x63);
  }
  return box;
}

constexpr std::array<std::uint8_t, 256> invert(const std::array<std::uint8_t, 256>& box) {
  std::array<std::uint8_t, 256> inv{};
  for (std::size_t i = 0; i < 256; ++i) inv[box[i]] = static_cast<std::uint8_t>(i);
  return inv;
}

constexpr std::array<std::uint8_t, 256> kSbox = makeSbox();
constexpr std::array<std::uint8_t, 256> kInvSbox = invert(kSbox);
static_assert(kSbox[0x00] == 0x63 && kSbox[0x53] == 0xED && kInvSbox[0x63] == 0x00);

constexpr std::array<std::uint8_t, 11> kRcon = {0x00, 0x01, 0x02, 0x04, 0x08, 0x10,
                                                0x20, 0x40, 0x80, 0x1B, 0x36};

// The state is kept as the 16 input bytes: byte r + 4c is row r of column c (FIPS-197 3.4).
using State = AesBlock;

void addRoundKey(State& s, const std::uint8_t* rk) {
  for (std::size_t i = 0; i < 16; ++i) s[i] = static_cast<std::uint8_t>(s[i] ^ rk[i]);
}

void invShiftRows(State& s) {
  State t = s;
  for (std::size_t r = 1; r < 4; ++r) {
    for (std::size_t c = 0; c < 4; ++c) s[r + 4 * ((c + r) % 4)] = t[r + 4 * c];
  }
}

void invSubBytes(State& s) {
  for (auto& b : s) b = kInvSbox[b];
}

void invMixColumns(State& s) {
  for (std::size_t c = 0; c < 4; ++c) {
    std::uint8_t* col = s.data() + 4 * c;
    std::uint8_t a0 = col[0], a1 = col[1], a2 = col[2], a3 = col[3];
    col[0] = static_cast<std::uint8_t>(gmul(a0, 14) ^ gmul(a1, 11) ^ gmul(a2, 13) ^ gmul(a3, 9));
    col[1] = static_cast<std::uint8_t>(gmul(a0, 9) ^ gmul(a1, 14) ^ gmul(a2, 11) ^ gmul(a3, 13));
    col[2] = static_cast<std::uint8_t>(gmul(a0, 13) ^ gmul(a1, 9) ^ gmul(a2, 14) ^ gmul(a3, 11));
    col[3] = static_cast<std::uint8_t>(gmul(a0, 11) ^ gmul(a1, 13) ^ gmul(a2, 9) ^ gmul(a3, 14));
  }
}

}  // namespace

CAES::CAES() : CAES(storedAesKey()) {}

// Key expansion of FIPS-197 5.2 for Nk = 4, Nr = 10.
CAES::CAES(const AesKey& key) {
  for (std::size_t i = 0; i < 16; ++i) roundKeys_[i] = key[i];
  for (std::size_t w = 4; w < 44; ++w) {
    std::uint8_t t[4];
    for (std::size_t j = 0; j < 4; ++j) t[j] = roundKeys_[4 * (w - 1) + j];
    if (w % 4 == 0) {
      std::uint8_t first = t[0];
      t[0] = static_cast<std::uint8_t>(kSbox[t[1]] ^ kRcon[w / 4]);
      t[1] = kSbox[t[2]];
      t[2] = kSbox[t[3]];
      t[3] = kSbox[first];
    }
    for (std::size_t j = 0; j < 4; ++j) {
      roundKeys_[4 * w + j] = static_cast<std::uint8_t>(roundKeys_[4 * (w - 4) + j] ^ t[j]);
    }
  }
}

CAES::~CAES() = default;

AesBlock CAES::decryptBlock(const AesBlock& in) const {
  State s = in;
  addRoundKey(s, roundKeys_.data() + 160);
  for (int round = 9; round >= 1; --round) {
    invShiftRows(s);
    invSubBytes(s);
    addRoundKey(s, roundKeys_.data() + 16 * round);
    invMixColumns(s);
  }
  invShiftRows(s);
  invSubBytes(s);
  addRoundKey(s, roundKeys_.data());
  return s;
}

std::string CAES::decryptToString(const std::uint8_t* bytes, std::size_t length) const {
  std::string out(length, '\0');
  std::size_t off = 0;
  for (; off + 16 <= length; off += 16) {
    AesBlock block;
    for (std::size_t i = 0; i < 16; ++i) block[i] = bytes[off + i];
    AesBlock plain = decryptBlock(block);
    for (std::size_t i = 0; i < 16; ++i) out[off + i] = static_cast<char>(plain[i]);
  }
  for (std::size_t i = 0; off + i < length; ++i) {
    out[off + i] = static_cast<char>(bytes[off + i] ^ roundKeys_[16 * (i % 11)]);
  }
  return out;
}

AesBlock CAES::roundKey(int round) const {
  if (round < 0 || round > 10) throw std::out_of_range("AES-128 has round keys 0 to 10");
  AesBlock rk;
  for (std::size_t i = 0; i < 16; ++i) rk[i] = roundKeys_[16 * static_cast<std::size_t>(round) + i];
  return rk;
}

const std::array<std::uint8_t, 256>& CAES::sbox() { return kSbox; }
const std::array<std::uint8_t, 256>& CAES::inverseSbox() { return kInvSbox; }

std::string AesDecryptToString(const std::uint8_t* bytes, std::size_t length) {
  return CAES().decryptToString(bytes, length);
}

}  // namespace cipher
