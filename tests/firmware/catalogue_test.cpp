#include "firmware/catalogue.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "base/texts.hpp"
#include "base/trace.hpp"

namespace {

using firmware::LoadCatalogue;
using firmware::McuList;

std::string catalogueOf(const std::string& families) { return "<mcuList>" + families + "</mcuList>"; }

// One family holding the given mcu elements.
std::string oneFamily(const std::string& familyAttributes, const std::string& models) {
  return catalogueOf("<mcuFamily name=\"F\" " + familyAttributes + ">" + models + "</mcuFamily>");
}

class CatalogueTest : public ::testing::Test {
 protected:
  void SetUp() override { base::setThreadLanguage(base::kLangEnglish); }
  void TearDown() override { base::setThreadLanguage(base::kLangChinese); }
};

std::string errorOf(const std::string& xml) {
  try {
    LoadCatalogue(xml);
  } catch (const firmware::CatalogueError& e) {
    return e.what();
  }
  return "no error";
}

TEST_F(CatalogueTest, FamilyIdIsTwoCharactersOrAHexNumber) {
  struct Case {
    const char* id;
    std::uint8_t first, second;
  } cases[] = {{"0x0102", 0x01, 0x02}, {"AB", 0x41, 0x42}, {"32", '3', '2'}, {"ABC", 0x41, 0x42},
               {"0x1FFFF", 0xFF, 0xFF}, {"0xZZ", 0x00, 0x00}};
  for (const Case& c : cases) {
    const McuList list =
        LoadCatalogue(oneFamily(std::string("id=\"") + c.id + "\" mcuType=\"K7A0\"", "<mcu name=\"M\" model=\"1\"/>"));
    ASSERT_EQ(list.size(), 1u) << c.id;
    EXPECT_EQ(list[0]->familyId[0], c.first) << c.id;
    EXPECT_EQ(list[0]->familyId[1], c.second) << c.id;
  }
}

TEST_F(CatalogueTest, FaultsRaiseTheirTexts) {
  struct Case {
    std::string xml;
    const char* error;
  } cases[] = {
      {oneFamily("id=\"A\" mcuType=\"K7A0\"", ""), "Invalid family id."},
      {oneFamily("mcuType=\"K7A0\"", ""), "Invalid family id."},
      {oneFamily("id=\"AB\" mcuType=\"K7B9\"", ""), "Invalid mcu type."},
      {oneFamily("id=\"AB\"", ""), "Invalid mcu type."},
      {oneFamily("id=\"AB\" mcuType=\"K7A0\"", "<mcu name=\"M\" model=\"1\" mcuType=\"w3x\"/>"), "Invalid mcu type."},
      {oneFamily("id=\"AB\" mcuType=\"K7A0\"", "<mcu name=\"M\" model=\"ZZ\"/>"), "invalid stoi argument"},
      {oneFamily("id=\"AB\" mcuType=\"K7A0\"", "<mcu name=\"M\"/>"), "invalid stoi argument"},
      {oneFamily("id=\"AB\" mcuType=\"K7A0\"", "<mcu name=\"M\" model=\"1FFFFFFFF\"/>"), "stoi argument out of range"},
      {oneFamily("id=\"AB\" mcuType=\"K7A0\"", "<mcu name=\"M\" model=\"80000000\"/>"), "stoi argument out of range"},
      {oneFamily("id=\"AB\" mcuType=\"K7A0\" flashSize=\"big\"", ""), "invalid stoi argument"},
      {oneFamily("id=\"AB\" mcuType=\"K7A0\"", "<mcu name=\"M\" model=\"1\" flashSize=\"99999999999\"/>"),
       "stoi argument out of range"},
  };
  for (const Case& c : cases) EXPECT_EQ(errorOf(c.xml), c.error) << c.xml;
}

TEST_F(CatalogueTest, ModelIdIsHexKeptIn16Bits) {
  const McuList list = LoadCatalogue(oneFamily(
      "id=\"AB\" mcuType=\"K7A0\"",
      "<mcu name=\"a\" model=\"505F\"/><mcu name=\"b\" model=\"12345\"/><mcu name=\"c\" model=\" 0x50\"/>"
      "<mcu name=\"d\" model=\"7fffffff\"/>"));
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0]->model, 0x505F);
  EXPECT_EQ(list[1]->model, 0x2345);
  EXPECT_EQ(list[2]->model, 0x0050);
  EXPECT_EQ(list[3]->model, 0xFFFF);
}

TEST_F(CatalogueTest, SizesAreDecimalOrHexKilobytes) {
  const McuList list = LoadCatalogue(oneFamily(
      "id=\"AB\" mcuType=\"K7A0\"",
      "<mcu name=\"a\" model=\"1\" flashSize=\"0x10\"/><mcu name=\"b\" model=\"2\" flashSize=\"   16\"/>"
      "<mcu name=\"c\" model=\"3\" flashSize=\"0X12\" eepromSize=\"0x200\"/>"));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0]->flashSize, 16384u);
  EXPECT_EQ(list[1]->flashSize, 16384u);
  EXPECT_EQ(list[2]->flashSize, 18432u);
  EXPECT_EQ(list[2]->eepromSize, 512u);
  const McuList none = LoadCatalogue(oneFamily("id=\"AB\" mcuType=\"K7A0\"", "<mcu name=\"a\" model=\"1\"/>"));
  EXPECT_EQ(none[0]->flashSize, 0u);
  EXPECT_EQ(none[0]->eepromSize, 0u);
}

TEST_F(CatalogueTest, ModelValuesHoldForTheLaterModelsOfTheirFamilyOnly) {
  const McuList list = LoadCatalogue(catalogueOf(
      "<mcuFamily name=\"A\" id=\"AA\" mcuType=\"K7A0\" flashSize=\"8\">"
      "  <mcu name=\"a1\" model=\"1\"/>"
      "  <mcu name=\"a2\" model=\"2\" flashSize=\"32\" eepromSize=\"512\" mcuType=\"T4N2\"/>"
      "  <mcu name=\"a3\" model=\"3\"/>"
      "</mcuFamily>"
      "<mcuFamily name=\"B\" id=\"BB\" mcuType=\"T4N0\" flashSize=\"16\">"
      "  <mcu name=\"b1\" model=\"4\"/>"
      "</mcuFamily>"));
  ASSERT_EQ(list.size(), 4u);
  EXPECT_EQ(list[0]->flashSize, 8192u);
  EXPECT_EQ(list[2]->flashSize, 32768u);  // not the family's 8 KB
  EXPECT_EQ(list[2]->eepromSize, 512u);
  EXPECT_EQ(list[2]->mcuType, firmware::kFamilyT4N2);
  EXPECT_EQ(list[3]->flashSize, 16384u);
  EXPECT_EQ(list[3]->eepromSize, 0u);
  EXPECT_EQ(list[3]->mcuType, firmware::kFamilyT4N0);
  for (std::uint32_t i = 0; i < list.size(); ++i) EXPECT_EQ(list[i]->index, i);
}

TEST_F(CatalogueTest, ModelFamilyIdCountsOnlyWithItsOwnType) {
  const McuList list = LoadCatalogue(oneFamily(
      "id=\"AB\" mcuType=\"K7A0\"",
      "<mcu name=\"own id only\" model=\"1\" familyId=\"CD\"/>"
      "<mcu name=\"id and type\" model=\"2\" familyId=\"0x3233\" mcuType=\"W3X\"/>"
      "<mcu name=\"later\" model=\"3\"/>"));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(list[0]->familyId, (std::array<std::uint8_t, 2>{'A', 'B'}));
  EXPECT_EQ(list[0]->mcuType, firmware::kFamilyK7A0);
  EXPECT_EQ(list[1]->familyId, (std::array<std::uint8_t, 2>{0x32, 0x33}));
  EXPECT_EQ(list[1]->mcuType, firmware::kFamily32Bit);
  // The type stays with the family from here on, the id does not.
  EXPECT_EQ(list[2]->familyId, (std::array<std::uint8_t, 2>{'A', 'B'}));
  EXPECT_EQ(list[2]->mcuType, firmware::kFamily32Bit);
}

TEST_F(CatalogueTest, FlashClassAndModelCode) {
  struct Case {
    std::uint32_t flash, eeprom;
    std::uint16_t flashClass;
  } cases[] = {{2048, 0, 0x7},   {2048, 512, 0x7}, {4096, 512, 0x9},  {4096, 0, 0x6},  {8192, 512, 0xA},
               {8192, 0, 0x0},   {8192, 256, 0x0}, {16384, 512, 0x1}, {18432, 0, 0x5}, {32768, 0, 0x2},
               {65536, 0, 0x3},  {131072, 0, 0x4}, {12288, 0, 0x8},   {0, 0, 0x8}};
  for (const Case& c : cases) {
    firmware::MCU m;
    m.flashSize = c.flash;
    m.eepromSize = c.eeprom;
    EXPECT_EQ(firmware::FlashClass(m), c.flashClass) << c.flash << "/" << c.eeprom;
  }
  firmware::MCU m;
  m.flashSize = 8192;
  m.eepromSize = 512;
  m.mcuType = firmware::kFamilyT4N2;
  m.index = 5;
  EXPECT_EQ(firmware::TypeIndex(m), 0xA405);
  m.eepromSize = 0;
  EXPECT_EQ(firmware::TypeIndex(m), 0x0405);
  m.index = 0x105;  // only the low byte of the index counts
  EXPECT_EQ(firmware::TypeIndex(m), 0x0405);
}

TEST_F(CatalogueTest, GroupsAreRunsOfEqualFamilyNames) {
  const McuList list = LoadCatalogue(catalogueOf(
      "<mcuFamily name=\"A\" id=\"AA\" mcuType=\"K7A0\"><mcu name=\"a1\" model=\"1\"/><mcu name=\"a2\" model=\"2\"/></mcuFamily>"
      "<mcuFamily name=\"B\" id=\"BB\" mcuType=\"K7A0\"><mcu name=\"b1\" model=\"3\"/></mcuFamily>"
      "<mcuFamily name=\"A\" id=\"AA\" mcuType=\"K7A0\"><mcu name=\"a3\" model=\"4\"/></mcuFamily>"));
  const auto groups = firmware::GroupByFamily(list);
  ASSERT_EQ(groups.size(), 3u);
  EXPECT_EQ(groups[0].familyName, "A Series");
  EXPECT_EQ(groups[0].models.size(), 2u);
  EXPECT_EQ(groups[1].familyName, "B Series");
  EXPECT_EQ(groups[2].familyName, "A Series");
  EXPECT_EQ(groups[2].models[0]->name, "a3");
}

TEST_F(CatalogueTest, FamilyNameFollowsTheLanguage) {
  base::setThreadLanguage(base::kLangChinese);
  const McuList list = LoadCatalogue(oneFamily("id=\"AB\" mcuType=\"K7A0\"", "<mcu name=\"M\" model=\"1\"/>"));
  EXPECT_EQ(list[0]->familyName, "F 系列");
}

TEST_F(CatalogueTest, TextsThatAreNoCatalogueGiveAnEmptyList) {
  EXPECT_TRUE(LoadCatalogue("").empty());
  EXPECT_TRUE(LoadCatalogue("<mcuList><mcuFamily name=\"F\"").empty());
  EXPECT_TRUE(LoadCatalogue("\x01\x02\xFF binary").empty());
  // Other children and comments are ignored; so is anything but mcu inside a family.
  const McuList list = LoadCatalogue(
      "<mcuList><!-- x --><vendor/><mcuFamily name=\"F\" id=\"AB\" mcuType=\"K7A0\"><note/>"
      "<mcu name=\"M\" model=\"1\"/></mcuFamily></mcuList>");
  EXPECT_EQ(list.size(), 1u);
}

TEST_F(CatalogueTest, Lookups) {
  const McuList list = LoadCatalogue(oneFamily(
      "id=\"AB\" mcuType=\"T4N1\" flashSize=\"16\"",
      "<mcu name=\"QB1\" model=\"1234\"/><mcu name=\"QB2\" model=\"1234\"/><mcu name=\"qb3\" model=\"00AB\"/>"));
  ASSERT_EQ(list.size(), 3u);
  EXPECT_EQ(firmware::FindByName(list, "QB2"), list[1]);
  EXPECT_EQ(firmware::FindByName(list, "QB3"), nullptr);  // case counts
  EXPECT_EQ(firmware::FindByModel(list, 0x1234), list[0]);
  EXPECT_EQ(firmware::FindByModel(list, 0x9999), nullptr);
  EXPECT_EQ(firmware::FindByTypeIndex(list, 0x1302), list[2]);
  EXPECT_EQ(firmware::FindByTypeIndex(list, 0x1303), nullptr);

  std::string traced;
  base::setTraceListener([&traced](std::string_view line) { traced += line; });
  EXPECT_EQ(firmware::get_mcu_type(list, 0x1302), 0x00AB);
  EXPECT_EQ(firmware::get_mcu_type(list, 0x1303), 0xFFFF);
  std::string name = "before";
  EXPECT_EQ(firmware::get_mcu_type_partameter(list, 0, 0x1300, name), 0x12);
  EXPECT_EQ(name, "QB1");
  EXPECT_EQ(firmware::get_mcu_type_partameter(list, 1, 0x1302, name), 0xAB);
  EXPECT_EQ(name, "qb3");
  EXPECT_EQ(firmware::get_mcu_type_partameter(list, 0, 0x1310, name), 0xFF);
  EXPECT_EQ(name, "qb3");
  base::setTraceListener(nullptr);
  EXPECT_NE(traced.find("get_mcu_type(1302)\n"), std::string::npos);
  EXPECT_NE(traced.find("get_mcu_type_partameter(MCU_type_index=1302, mode=1)\n"), std::string::npos);
}

TEST_F(CatalogueTest, EmbeddedCatalogueHoldsTheProductData) {
  const McuList list = LoadCatalogue();
  ASSERT_EQ(list.size(), 168u);
  const auto groups = firmware::GroupByFamily(list);
  EXPECT_EQ(groups.size(), 21u);

  std::set<std::uint16_t> models, codes, types, classes;
  std::set<std::string> names;
  std::set<std::uint32_t> flashKb;
  std::set<std::array<std::uint8_t, 2>> paddedIds;
  int idBits74AorC = 0;
  for (const firmware::McuPtr& m : list) {
    models.insert(m->model);
    codes.insert(firmware::TypeIndex(*m));
    names.insert(m->name);
    types.insert(m->mcuType);
    classes.insert(firmware::FlashClass(*m));
    flashKb.insert(m->flashSize / 1024);
    EXPECT_LE(m->internalName.size(), 12u) << m->name;
    EXPECT_FALSE(m->internalName.empty()) << m->name;
    // Above 64 KB only frames with 4-byte addresses and lengths reach the whole flash over serial.
    if (m->mcuType != firmware::kFamily32Bit && m->flashSize > 65536) {
      EXPECT_EQ(m->mcuType, 0x500) << m->name;
    }
    if (((m->model >> 4) & 0xF) == 0xA || ((m->model >> 4) & 0xF) == 0xC) ++idBits74AorC;
    if (firmware::needsTailPadding(*m)) paddedIds.insert(m->familyId);
    EXPECT_EQ(m->familyId == (std::array<std::uint8_t, 2>{'3', '2'}), m->mcuType == firmware::kFamily32Bit)
        << m->name;
  }
  EXPECT_EQ(models.size(), list.size());
  EXPECT_EQ(codes.size(), list.size());
  EXPECT_EQ(names.size(), list.size());
  EXPECT_EQ(types, (std::set<std::uint16_t>{0x000, 0x100, 0x200, 0x300, 0x400, 0x500, 0x800}));
  EXPECT_EQ(flashKb, (std::set<std::uint32_t>{4, 8, 16, 18, 32, 64, 128}));
  EXPECT_TRUE(classes.count(0x9) == 1 && classes.count(0xA) == 1);
  EXPECT_EQ(classes.count(0x7) + classes.count(0x8), 0u);
  EXPECT_GT(idBits74AorC, 0);
  EXPECT_EQ(paddedIds.size(), 6u);

  int family32 = 0, withEeprom = 0;
  for (const auto& g : groups) {
    const firmware::MCU& first = *g.models.front();
    if (first.familyId == std::array<std::uint8_t, 2>{'3', '2'}) ++family32;
    if (std::any_of(g.models.begin(), g.models.end(), [](const firmware::McuPtr& m) { return m->eepromSize == 512; }))
      ++withEeprom;
  }
  EXPECT_EQ(family32, 5);
  EXPECT_EQ(withEeprom, 3);

  const firmware::McuPtr readme = firmware::FindByName(list, "QB51F16");
  ASSERT_NE(readme, nullptr);
  EXPECT_EQ(readme->flashSize, 16384u);
  EXPECT_EQ(firmware::FlashClass(*readme), 0x1);
  EXPECT_NE(readme->mcuType, firmware::kFamily32Bit);
}

TEST_F(CatalogueTest, ProcessWideListIsTheEmbeddedOne) {
  const McuList& shared = firmware::Catalogue();
  EXPECT_EQ(shared.size(), 168u);
  EXPECT_EQ(&shared, &firmware::Catalogue());
  EXPECT_EQ(firmware::FindByName("QB51F16"), firmware::FindByName(shared, "QB51F16"));
}

}  // namespace
