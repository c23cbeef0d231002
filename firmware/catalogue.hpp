#pragma once
// The chip catalogue: an XML list of families and models, embedded in the program and parsed into
// shared MCU records. Records are found by name, model id or model code (MCU_type_index):
//   bits 15..12 flash class, bits 11..8 family type, bits 7..0 catalogue index.
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "firmware/mcu.hpp"

namespace firmware {

using McuList = std::vector<McuPtr>;

// A malformed catalogue: "Invalid family id.", "Invalid mcu type.", "invalid stoi argument",
// "stoi argument out of range".
class CatalogueError : public std::runtime_error {
 public:
  explicit CatalogueError(const std::string& what) : std::runtime_error(what) {}
};

// The embedded catalogue, in document order; empty when the text does not parse as XML.
McuList LoadCatalogue();
// The same from a given text. Throws CatalogueError on the faults above.
McuList LoadCatalogue(std::string_view xml);

// The process-wide list, loaded on first use and again on a later use while it is still empty.
const McuList& Catalogue();

struct FamilyGroup {
  std::string familyName;
  McuList models;
};

// Consecutive records with equal familyName form one group, in list order.
std::vector<FamilyGroup> GroupByFamily(const McuList& list);

// Exact, case-sensitive match on the model name.
McuPtr FindByName(const McuList& list, std::string_view name);
McuPtr FindByName(std::string_view name);
// First record with this model id.
McuPtr FindByModel(const McuList& list, std::uint16_t model);
McuPtr FindByModel(std::uint16_t model);
// First record whose model code equals `code`.
McuPtr FindByTypeIndex(const McuList& list, std::uint16_t code);
McuPtr FindByTypeIndex(std::uint16_t code);

// Flash class (0x0..0xA) from the flash and EEPROM sizes; 0x8 for a size outside the table.
std::uint16_t FlashClass(const MCU& m);
// The model code: (flash class << 12) | family type | (index & 0xFF).
std::uint16_t TypeIndex(const MCU& m);

// The family type value of a code ("K7A0" .. "T4N3", "W3X"), kFamilyInvalid for any other.
std::uint16_t FamilyTypeOfCode(std::string_view code);

// Model id of the record with model code `code`, 0xFFFF when there is none.
std::uint16_t get_mcu_type(const McuList& list, std::uint16_t code);
std::uint16_t get_mcu_type(std::uint16_t code);

// For the record with model code `code`: stores its name in `currentModelName` and returns the
// high byte of its model id for mode 0, the low byte otherwise. Without a record the name is left
// as it was and the result is 0xFF.
std::uint8_t get_mcu_type_partameter(const McuList& list, int mode, std::uint16_t code,
                                     std::string& currentModelName);
std::uint8_t get_mcu_type_partameter(int mode, std::uint16_t code, std::string& currentModelName);

}  // namespace firmware
