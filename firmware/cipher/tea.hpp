#pragma once
// TEA (Wheeler and Needham, 32 cycles). The block functions are shared by the two users, which
// differ only in how bytes become words: production files read big-endian words, the USB transport
// little-endian ones.
#include <array>
#include <cstddef>
#include <cstdint>

namespace cipher {

using TeaKey = std::array<std::uint32_t, 4>;

void teaEncipherBlock(std::uint32_t& y, std::uint32_t& z, const TeaKey& k);
void teaDecipherBlock(std::uint32_t& y, std::uint32_t& z, const TeaKey& k);

enum class WordOrder { BigEndian, LittleEndian };

// Key words from 16 key bytes, read in the given order.
TeaKey teaKeyFromBytes(const std::uint8_t* key16, WordOrder order);

// In place over whole 8-byte blocks from the start (ECB); a tail shorter than 8 bytes stays as it is.
void teaEncipher(std::uint8_t* data, std::size_t length, const TeaKey& key, WordOrder order);
void teaDecipher(std::uint8_t* data, std::size_t length, const TeaKey& key, WordOrder order);

// The production files' TEA: big-endian words, a key of 16 bytes as typed (or the built-in one).
using TeaKeyBytes = std::array<std::uint8_t, 16>;

// The key of every production file header. Read-only: nothing may ever change it, or no file
// written before could be read again.
inline constexpr TeaKeyBytes kBuiltInTeaKey = {'M', 'A', 'P', 'L', 'E', '_', 'W', 'I',
                                               'N', 'D', '_', 'V', '2', '.', '7', '!'};

void TeaEncrypt(std::uint8_t* buffer, std::size_t length, const TeaKeyBytes& key);
void TeaDecrypt(std::uint8_t* buffer, std::size_t length, const TeaKeyBytes& key);

}  // namespace cipher
