#pragma once
// The in-memory program image and the arithmetic every user of it shares: page sizes, the
// maximum length of a flash class and the two checksums. All lengths follow the selected model's
// code (MCU_type_index): flash class in bits 15..12, family type in bits 11..8.
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "firmware/mcu.hpp"

namespace firmware {

inline constexpr std::size_t kProductionHeaderSize = 256;
// Files of the 32-bit family type carry a boot area of this size in front of the application.
inline constexpr std::uint64_t kBootAreaSize = 4096;

struct ProgramImage {
  std::vector<std::uint8_t> data;     // m_MaxFileLength bytes (256 more from a production file)
  std::vector<std::uint8_t> rawFile;  // the file as read; shown instead of data for a .cab
  std::vector<std::uint8_t> appArea;  // 32-bit family type: data from the boot area's end on
  std::array<std::uint8_t, kProductionHeaderSize> header{};  // a production file's header, deciphered
  std::uint64_t m_MaxFileLength = 0;
  std::uint64_t loadedLength = 0;
  std::uint64_t dataLength = 0;
  std::int64_t programLength = 0;  // whole pages
  std::uint32_t pageCount = 0;
  std::uint32_t totalChecksum = 0;  // shown as "Checksum: %08X"
  // The bytes totalChecksum covers: the flash, also when an EEPROM part has extended m_MaxFileLength.
  std::uint64_t totalChecksumLength = 0;
  std::uint32_t programChecksum = 0;
  std::uint32_t dataChecksum = 0;
  std::uint32_t appChecksum = 0;
  bool fromEncryptedFile = false;
  // The data are held enciphered under the built-in key (an encrypted program file loaded in ISP
  // mode); a file loaded in another mode is held plain although it came from a .cab.
  bool enciphered = false;
};

// The bytes a programming run sends: the first m_MaxFileLength bytes of the image, deciphered when
// the image holds them enciphered under the built-in key.
std::vector<std::uint8_t> ProgramBytes(const ProgramImage& image);

// Sum of the n bytes plus 2·n + 1, modulo 2^32.
std::uint32_t ImageChecksum(const std::uint8_t* bytes, std::size_t n);
inline std::uint32_t ImageChecksum(std::span<const std::uint8_t> bytes) {
  return ImageChecksum(bytes.data(), bytes.size());
}

// XOR of the little-endian words at offsets 0, 4, 8, ... below n. The last word may reach past n;
// bytes beyond the end of `buffer` count as 0xFF, as in an erased flash.
std::uint32_t WordXorChecksum(std::span<const std::uint8_t> buffer, std::size_t n);

inline constexpr std::uint16_t FlashClassOf(std::uint16_t code) { return code >> 12; }
inline constexpr bool Is32BitType(std::uint16_t code) { return FamilyTypeOf(code) == kFamily32Bit; }

// 512 bytes for the 32-bit family type, 128 otherwise.
std::uint32_t PageSize(std::uint16_t code);
// ⌈n / page size⌉, and n rounded up to whole pages.
std::uint64_t PageCount(std::uint64_t n, std::uint16_t code);
std::uint64_t PageRound(std::uint64_t n, std::uint16_t code);

// The flash capacity of a flash class; none for the classes without one (0x7, 0x8 and above 0xA).
std::optional<std::uint64_t> ClassMaxLength(std::uint16_t code);
// Bytes of the blank (all 0xFF) hex view: the capacity, with the EEPROM beside it for 0x9 and
// 0xA; 0 for a class without capacity.
std::size_t BlankViewLength(std::uint16_t code);

}  // namespace firmware
