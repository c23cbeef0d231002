// Touchconfig.TXT byte for byte, and where it goes.
#include <gtest/gtest.h>

#include <sstream>

#include "tests/support/temp_home.hpp"
#include "touch/export.hpp"

namespace {

std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      out.push_back(text.substr(at) + "<no CR LF>");
      break;
    }
    out.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return out;
}

TEST(TouchExport, TheExampleFileByteForByte) {
  const std::uint8_t numbers[] = {3, 12};
  const std::uint16_t thresholds[] = {80, 1500};
  EXPECT_EQ(touch::formatTouchConfig(numbers, thresholds),
            "  #define KEY_SEQ       \\\r\n"
            "  {TS_CH3 ,  80 },      \\\r\n"
            "  {TS_CH12, 1500},      \\\r\n");
}

TEST(TouchExport, FieldRulesKeepTwentyFiveCharactersUpToFourDigits) {
  const struct {
    std::uint8_t number;
    std::uint16_t threshold;
    const char* line;
  } cases[] = {
      {0, 7, "  {TS_CH0 ,   7 },      \\"},    {9, 45, "  {TS_CH9 ,  45 },      \\"},
      {10, 999, "  {TS_CH10, 999 },      \\"},  {99, 1000, "  {TS_CH99, 1000},      \\"},
      {5, 0, "  {TS_CH5 ,   0 },      \\"},    {47, 9999, "  {TS_CH47, 9999},      \\"},
  };
  for (const auto& c : cases) {
    const std::uint8_t n[] = {c.number};
    const std::uint16_t t[] = {c.threshold};
    const auto lines = linesOf(touch::formatTouchConfig(n, t));
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].size(), 25u);
    EXPECT_EQ(lines[1], c.line);
    EXPECT_EQ(lines[1].size(), 25u) << c.line;
  }
}

TEST(TouchExport, FiveDigitThresholdsAndThreeDigitChannelsAreWrittenWhole) {
  // Cutting 12345 to its last four digits would paste a wrong threshold into the application.
  const std::uint8_t n[] = {4, 200};
  const std::uint16_t t[] = {12345, 65535};
  const auto lines = linesOf(touch::formatTouchConfig(n, t));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[1], "  {TS_CH4 , 12345},      \\");
  EXPECT_EQ(lines[2], "  {TS_CH200, 65535},      \\");
}

TEST(TouchExport, EveryChannelGetsItsLineBeyondFifty) {
  std::vector<std::uint8_t> n(64);
  std::vector<std::uint16_t> t(64, 100);
  for (std::size_t i = 0; i < n.size(); ++i) n[i] = static_cast<std::uint8_t>(i);
  const auto lines = linesOf(touch::formatTouchConfig(n, t));
  ASSERT_EQ(lines.size(), 65u);
  EXPECT_EQ(lines[64], "  {TS_CH63, 100 },      \\");
  EXPECT_EQ(linesOf(touch::formatTouchConfig({}, {})), std::vector<std::string>{"  #define KEY_SEQ       \\"});
}

TEST(TouchExport, TheExecutablesFolderWhenWritableElseTheDataFolder) {
  const auto root = testsupport::makeTempDir("touch_export");
  const auto exe = root / "bin";
  const auto data = root / "data" / "QUBRIX";
  std::filesystem::create_directories(exe);
  EXPECT_EQ(touch::exportDirectory(exe, data), exe);
  EXPECT_EQ(touch::exportDirectory(root / "gone", data), data);
  EXPECT_TRUE(std::filesystem::is_directory(data));
  std::filesystem::remove_all(root);
}

}  // namespace
