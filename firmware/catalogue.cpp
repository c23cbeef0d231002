#include "firmware/catalogue.hpp"

#include <tinyxml2.h>

#include <cctype>
#include <charconv>
#include <cstddef>
#include <limits>
#include <memory>
#include <mutex>
#include <system_error>

#include "base/texts.hpp"
#include "base/trace.hpp"
#include "embedded/catalogue_xml.hpp"

namespace firmware {
namespace {

const char* const kBadNumber = "invalid stoi argument";
const char* const kNumberRange = "stoi argument out of range";

std::string_view attribute(const tinyxml2::XMLElement& e, const char* name) {
  const char* v = e.Attribute(name);
  return v != nullptr ? std::string_view(v) : std::string_view();
}

bool hasAttribute(const tinyxml2::XMLElement& e, const char* name) { return e.Attribute(name) != nullptr; }

// std::stoi(text, nullptr, base) with its error texts: leading white space, a sign and (base 16)
// a "0x" prefix are accepted, parsing stops at the first character that is no digit, and the value
// must fit a signed 32-bit integer.
long long parseLikeStoi(std::string_view text, int base) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  // As strtol: "0x" is a prefix only when a hex digit follows, else the number is the "0".
  if (base == 16 && i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') &&
      std::isxdigit(static_cast<unsigned char>(text[i + 2])) != 0) {
    i += 2;
  }
  unsigned long long magnitude = 0;
  const char* first = text.data() + i;
  const char* last = text.data() + text.size();
  const auto [end, ec] = std::from_chars(first, last, magnitude, base);
  if (end == first) throw CatalogueError(kBadNumber);
  const long long limit = negative ? -static_cast<long long>(std::numeric_limits<int>::min())
                                   : std::numeric_limits<int>::max();
  if (ec == std::errc::result_out_of_range || magnitude > static_cast<unsigned long long>(limit)) {
    throw CatalogueError(kNumberRange);
  }
  return negative ? -static_cast<long long>(magnitude) : static_cast<long long>(magnitude);
}

// Sizes are decimal, or hexadecimal after "0x"/"0X"; negative sizes make no sense and are refused.
std::uint32_t parseSize(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i])) != 0) ++i;
  const bool hex = text.size() >= i + 2 && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X');
  const long long v = parseLikeStoi(text.substr(hex ? i + 2 : i), hex ? 16 : 10);
  if (v < 0) throw CatalogueError(kNumberRange);
  return static_cast<std::uint32_t>(v);
}

std::array<std::uint8_t, 2> parseFamilyId(std::string_view id) {
  if (id.size() < 2) throw CatalogueError("Invalid family id.");
  if (id.substr(0, 2) == "0x") {
    const auto v = static_cast<std::uint32_t>(parseLikeStoi(id, 16));
    return {static_cast<std::uint8_t>((v >> 8) & 0xFF), static_cast<std::uint8_t>(v & 0xFF)};
  }
  return {static_cast<std::uint8_t>(id[0]), static_cast<std::uint8_t>(id[1])};
}

std::uint16_t parseFamilyType(std::string_view code) {
  const std::uint16_t type = FamilyTypeOfCode(code);
  if (type == kFamilyInvalid) throw CatalogueError("Invalid mcu type.");
  return type;
}

std::uint32_t kilobytes(std::uint32_t kb) {
  if (kb > std::numeric_limits<std::uint32_t>::max() / 1024) throw CatalogueError(kNumberRange);
  return kb * 1024;
}

// Values a model inherits from its family, or from an earlier model of the family that set them.
struct FamilyValues {
  std::array<std::uint8_t, 2> id{};
  std::uint16_t type = 0;
  std::uint32_t flashKb = 0;
  std::uint32_t eeprom = 0;
  std::uint32_t tailPadding = 0;
};

MCU readModel(const tinyxml2::XMLElement& e, FamilyValues& family, const std::string& familyName,
              std::uint32_t index) {
  MCU m;
  m.index = index;
  m.name = std::string(attribute(e, "name"));
  m.model = static_cast<std::uint16_t>(parseLikeStoi(attribute(e, "model"), 16));
  m.internalName = std::string(attribute(e, "internalName"));
  if (hasAttribute(e, "flashSize")) family.flashKb = parseSize(attribute(e, "flashSize"));
  if (hasAttribute(e, "eepromSize")) family.eeprom = parseSize(attribute(e, "eepromSize"));
  std::array<std::uint8_t, 2> id = family.id;
  const bool ownId = hasAttribute(e, "familyId");
  const std::array<std::uint8_t, 2> modelId = ownId ? parseFamilyId(attribute(e, "familyId")) : family.id;
  if (hasAttribute(e, "mcuType")) {
    family.type = parseFamilyType(attribute(e, "mcuType"));
    // A model's own family id only counts together with its own family type.
    id = modelId;
  }
  m.familyName = familyName;
  m.familyId = id;
  m.mcuType = family.type;
  m.flashSize = kilobytes(family.flashKb);
  m.eepromSize = family.eeprom;
  m.tailPadding = family.tailPadding;
  return m;
}

McuPtr findFirst(const McuList& list, auto&& matches) {
  for (const McuPtr& m : list) {
    if (m && matches(*m)) return m;
  }
  return nullptr;
}

}  // namespace

std::uint16_t FamilyTypeOfCode(std::string_view code) {
  static constexpr std::pair<std::string_view, std::uint16_t> kTypes[] = {
      {"K7A0", kFamilyK7A0}, {"K7A1", kFamilyK7A1}, {"T4N0", kFamilyT4N0}, {"T4N1", kFamilyT4N1},
      {"T4N2", kFamilyT4N2}, {"T4N3", kFamilyT4N3}, {"W3X", kFamily32Bit},
  };
  for (const auto& [name, value] : kTypes) {
    if (name == code) return value;
  }
  return kFamilyInvalid;
}

McuList LoadCatalogue(std::string_view xml) {
  McuList list;
  tinyxml2::XMLDocument doc;
  if (doc.Parse(xml.data(), xml.size()) != tinyxml2::XML_SUCCESS) return list;
  const tinyxml2::XMLElement* root = doc.FirstChildElement();
  if (root == nullptr) return list;
  const std::string series = base::text("firmware.series");
  std::uint32_t index = 0;
  for (const tinyxml2::XMLElement* f = root->FirstChildElement("mcuFamily"); f != nullptr;
       f = f->NextSiblingElement("mcuFamily")) {
    const std::string familyName = std::string(attribute(*f, "name")) + " " + series;
    FamilyValues family;
    family.id = parseFamilyId(attribute(*f, "id"));
    family.type = parseFamilyType(attribute(*f, "mcuType"));
    if (hasAttribute(*f, "flashSize")) family.flashKb = parseSize(attribute(*f, "flashSize"));
    if (hasAttribute(*f, "eepromSize")) family.eeprom = parseSize(attribute(*f, "eepromSize"));
    if (hasAttribute(*f, "tailPadding")) family.tailPadding = parseSize(attribute(*f, "tailPadding"));
    for (const tinyxml2::XMLElement* e = f->FirstChildElement("mcu"); e != nullptr;
         e = e->NextSiblingElement("mcu")) {
      list.push_back(std::make_shared<const MCU>(readModel(*e, family, familyName, index++)));
    }
  }
  return list;
}

McuList LoadCatalogue() {
  return LoadCatalogue(std::string_view(reinterpret_cast<const char*>(embedded::catalogue_xml),
                                        embedded::catalogue_xml_size));
}

const McuList& Catalogue() {
  static std::mutex mutex;
  static McuList list;
  const std::lock_guard<std::mutex> lock(mutex);
  if (list.empty()) list = LoadCatalogue();
  return list;
}

std::vector<FamilyGroup> GroupByFamily(const McuList& list) {
  std::vector<FamilyGroup> groups;
  for (const McuPtr& m : list) {
    if (!m) continue;
    if (groups.empty() || groups.back().familyName != m->familyName) groups.push_back({m->familyName, {}});
    groups.back().models.push_back(m);
  }
  return groups;
}

McuPtr FindByName(const McuList& list, std::string_view name) {
  return findFirst(list, [name](const MCU& m) { return m.name == name; });
}
McuPtr FindByName(std::string_view name) { return FindByName(Catalogue(), name); }

McuPtr FindByModel(const McuList& list, std::uint16_t model) {
  return findFirst(list, [model](const MCU& m) { return m.model == model; });
}
McuPtr FindByModel(std::uint16_t model) { return FindByModel(Catalogue(), model); }

McuPtr FindByTypeIndex(const McuList& list, std::uint16_t code) {
  return findFirst(list, [code](const MCU& m) { return TypeIndex(m) == code; });
}
McuPtr FindByTypeIndex(std::uint16_t code) { return FindByTypeIndex(Catalogue(), code); }

std::uint16_t FlashClass(const MCU& m) {
  const bool eeprom = m.eepromSize == 512;
  switch (m.flashSize) {
    case 2048: return 0x7;
    case 4096: return eeprom ? 0x9 : 0x6;
    case 8192: return eeprom ? 0xA : 0x0;
    case 16384: return 0x1;
    case 18432: return 0x5;
    case 32768: return 0x2;
    case 65536: return 0x3;
    case 131072: return 0x4;
    default: return 0x8;
  }
}

std::uint16_t TypeIndex(const MCU& m) {
  return static_cast<std::uint16_t>((FlashClass(m) << 12) | (m.mcuType & 0x0F00) | (m.index & 0xFF));
}

std::uint16_t get_mcu_type(const McuList& list, std::uint16_t code) {
  base::trace("get_mcu_type(%04X)\n", code);
  const McuPtr m = FindByTypeIndex(list, code);
  return m ? m->model : 0xFFFF;
}
std::uint16_t get_mcu_type(std::uint16_t code) { return get_mcu_type(Catalogue(), code); }

std::uint8_t get_mcu_type_partameter(const McuList& list, int mode, std::uint16_t code,
                                     std::string& currentModelName) {
  base::trace("get_mcu_type_partameter(MCU_type_index=%04X, mode=%d)\n", code, mode);
  const McuPtr m = FindByTypeIndex(list, code);
  if (!m) return 0xFF;
  currentModelName = m->name;
  return static_cast<std::uint8_t>(mode == 0 ? m->model >> 8 : m->model & 0xFF);
}
std::uint8_t get_mcu_type_partameter(int mode, std::uint16_t code, std::string& currentModelName) {
  return get_mcu_type_partameter(Catalogue(), mode, code, currentModelName);
}

}  // namespace firmware
