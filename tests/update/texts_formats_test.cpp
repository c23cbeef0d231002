// Versions, manifests, the MD5 text and the update server's settings: the pieces a check and an
// update decide with.
#include <gtest/gtest.h>

#include <fstream>
#include <stdexcept>

#include "base/texts.hpp"
#include "tests/support/temp_home.hpp"
#include "update/manifest.hpp"
#include "update/md5.hpp"
#include "update/server_settings.hpp"
#include "update/version.hpp"

namespace {

using update::FirmwareVersion;
using update::parseFirmwareVersion;

TEST(FirmwareVersionTest, ReadsThreeOrFourPartsWithAMissingBuildAsZero) {
  EXPECT_EQ(parseFirmwareVersion("1.0.2"), (FirmwareVersion{1, 0, 2, 0}));
  EXPECT_EQ(parseFirmwareVersion("1.0.2.8"), (FirmwareVersion{1, 0, 2, 8}));
  EXPECT_EQ(parseFirmwareVersion("10.20.30.40"), (FirmwareVersion{10, 20, 30, 40}));
}

TEST(FirmwareVersionTest, RefusesOtherTextsWithTheirMessages) {
  base::setThreadLanguage(base::kLangEnglish);
  const struct {
    const char* text;
    const char* message;
  } kCases[] = {
      {"1.0", "Invalid firmware version string."},
      {"1.0.2.5.1", "Invalid firmware version string."},
      {"", "Invalid firmware version string."},
      {"1.x.2", "invalid stoi argument"},
      {"1..2", "invalid stoi argument"},
      {"1.0.99999999999", "stoi argument out of range"},
  };
  for (const auto& c : kCases) {
    try {
      parseFirmwareVersion(c.text);
      ADD_FAILURE() << c.text << " was accepted";
    } catch (const std::runtime_error& e) {
      EXPECT_STREQ(e.what(), c.message) << c.text;
    }
  }
}

TEST(FirmwareVersionTest, OrdersPartByPart) {
  EXPECT_GT(parseFirmwareVersion("1.0.3"), parseFirmwareVersion("1.0.2.9"));
  EXPECT_EQ(parseFirmwareVersion("1.0.2"), parseFirmwareVersion("1.0.2.0"));
  EXPECT_FALSE(parseFirmwareVersion("1.0.2") > parseFirmwareVersion("1.0.2.0"));
  EXPECT_LT(parseFirmwareVersion("1.0.10"), parseFirmwareVersion("1.1.0"));
}

TEST(ManifestTest, TakesTheFirstItemMatchingLatestUnderAnyRootName) {
  const auto record = update::parseManifest(R"(<anything><latest ver="1.0.3"/><firmwares>
      <item ver="1.0.2" path="/a.bin" hash="aa"/><item ver="1.0.3" path="/b.bin" hash="bb"/>
      <item ver="1.0.3" path="/c.bin" hash="cc"/></firmwares></anything>)");
  ASSERT_TRUE(record);
  EXPECT_EQ(record->version, "1.0.3");
  EXPECT_EQ(record->path, "/b.bin");
  EXPECT_EQ(record->hash, "bb");
}

TEST(ManifestTest, FailsWithoutLatestFirmwaresOrAMatchingItem) {
  const char* kBroken[] = {
      "",
      "not xml at all",
      "<fw><latest ver=\"1.0.3\"/><firmwares><item ver=\"1.0.3\" path=\"/b\"",
      "<fw><firmwares><item ver=\"1.0.3\" path=\"/b\" hash=\"x\"/></firmwares></fw>",
      "<fw><latest ver=\"1.0.3\"/></fw>",
      "<fw><latest ver=\"1.0.3\"/><firmwares><item ver=\"1.0.3.0\" path=\"/b\" hash=\"x\"/></firmwares></fw>",
      "<fw><latest/><firmwares><item ver=\"1.0.3\" path=\"/b\" hash=\"x\"/></firmwares></fw>",
  };
  for (const char* text : kBroken) EXPECT_FALSE(update::parseManifest(text)) << text;
}

TEST(ManifestTest, PathsFollowTheVersionType) {
  EXPECT_EQ(update::usbManifestPath(0, ""), "/QUBRIXToolTFT/v2/fw.xml");
  EXPECT_EQ(update::usbManifestPath(1, ""), "/QUBRIXToolTFT/v2/fw_no_logo.xml");
  EXPECT_EQ(update::usbManifestPath(2, ""), "/QUBRIXToolTFT/v2/fw_no_logo_no_model.xml");
  EXPECT_EQ(update::usbManifestPath(3, "ACME"), "/Custom/ACME/QUBRIXToolTFT/fw.xml");
  EXPECT_EQ(update::usbManifestPath(7, "ACME"), "/QUBRIXToolTFT/v2/fw.xml");
}

TEST(Md5Test, GivesTheRfc1321DigestInLowerCaseAndNothingForAMissingFile) {
  const auto dir = testsupport::makeTempDir("qx_md5");
  const struct {
    std::string bytes;
    const char* digest;
  } kCases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      // Longer than one 1024-byte piece.
      {std::string(2500, 'a'), nullptr},
  };
  for (const auto& c : kCases) {
    std::ofstream(dir / "f", std::ios::binary) << c.bytes;
    const std::string hex = update::fileMd5Hex(dir / "f");
    if (c.digest != nullptr) {
      EXPECT_EQ(hex, c.digest);
    }
    EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(hex.size(), 32u);
  }
  EXPECT_EQ(update::fileMd5Hex(dir / "missing"), "");
  std::filesystem::remove_all(dir);
}

TEST(ServerSettingsTest, TheConfigurationNamesAnFtpServerOrTheBuiltInOneHolds) {
  const update::ServerSettings builtIn{"ftp://built.in:21/", "bu", "bp"};
  const auto named = update::serverSettingsFrom(
      "[Serial]\nServer=ftp://wrong/\n[Update]\nServer = ftp://127.0.0.1:2121\nUser=u\nPassword=p w\n", builtIn);
  EXPECT_EQ(named.url, "ftp://127.0.0.1:2121/");
  EXPECT_EQ(named.user, "u");
  EXPECT_EQ(named.password, "p w");
  for (const char* text : {"", "[Serial]\nServer=ftp://x/\n", "[Update]\nServer=http://127.0.0.1/\n",
                           "[Update]\nServer=file:///etc/\n"}) {
    EXPECT_EQ(update::serverSettingsFrom(text, builtIn).url, builtIn.url) << text;
  }
}

TEST(ServerSettingsTest, WithoutAConfigurationFileTheSealedSettingsAreUsed) {
  testsupport::TempHome home;
  const auto server = update::updateServer();
  EXPECT_EQ(server.url.rfind("ftp://", 0), 0u);
  EXPECT_EQ(server.url.substr(server.url.size() - 4), ":21/");
  EXPECT_FALSE(server.user.empty());
}

}  // namespace
