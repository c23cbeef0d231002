#pragma once
// One chip model of the catalogue. Records are immutable after loading and shared by pointer.
#include <array>
#include <cstdint>
#include <memory>
#include <string>

namespace firmware {

// Family type values (bits 11..8 of the model code).
inline constexpr std::uint16_t kFamilyK7A0 = 0x000;
inline constexpr std::uint16_t kFamilyK7A1 = 0x100;
inline constexpr std::uint16_t kFamilyT4N0 = 0x200;
inline constexpr std::uint16_t kFamilyT4N1 = 0x300;
inline constexpr std::uint16_t kFamilyT4N2 = 0x400;
inline constexpr std::uint16_t kFamilyT4N3 = 0x500;
inline constexpr std::uint16_t kFamily32Bit = 0x800;  // "W3X": 512-byte pages, 4 KiB boot area
inline constexpr std::uint16_t kFamilyInvalid = 0xFFFF;

// The family type of a model code (MCU_type_index).
inline constexpr std::uint16_t FamilyTypeOf(std::uint16_t code) { return code & 0x0F00; }

struct MCU {
  std::uint32_t index = 0;           // running number over the whole catalogue, from 0
  std::string name;                  // shown to the user
  std::uint16_t model = 0;           // model id
  std::string familyName;            // family name + " " + localized "Series"
  std::array<std::uint8_t, 2> familyId{};  // first byte, second byte
  std::uint16_t mcuType = 0;         // family type value
  std::string internalName;          // up to 12 characters
  std::uint32_t flashSize = 0;       // bytes
  std::uint32_t eepromSize = 0;      // bytes
  std::uint32_t tailPadding = 0;     // bytes of 0xFF the USB programmer appends after the image
};

using McuPtr = std::shared_ptr<const MCU>;

// The families whose images the USB programmer pads with 16 bytes of 0xFF; named in the catalogue.
inline bool needsTailPadding(const MCU& m) { return m.tailPadding != 0; }

// The 32-bit target id sent to the programmer: family id bytes over the model id.
inline std::uint32_t modelWord(const MCU& m) {
  return (std::uint32_t{m.familyId[0]} << 24) | (std::uint32_t{m.familyId[1]} << 16) | m.model;
}

}  // namespace firmware
