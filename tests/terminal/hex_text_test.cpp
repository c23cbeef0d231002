#include "terminal/hex_text.hpp"

#include <gtest/gtest.h>

#include <random>

#include "base/texts.hpp"

namespace {

using terminal::HexError;
using terminal::parseHex;
using Bytes = std::vector<std::uint8_t>;

struct StrictCase {
  const char* text;
  Bytes bytes;
  HexError error;
};

class StrictHex : public ::testing::TestWithParam<StrictCase> {};

TEST_P(StrictHex, ParsesPairsOrRefusesWhole) {
  const StrictCase& c = GetParam();
  const auto parsed = parseHex(c.text);
  EXPECT_EQ(parsed.error, c.error) << c.text;
  EXPECT_EQ(parsed.bytes, c.bytes) << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, StrictHex,
    ::testing::Values(StrictCase{"A1 B2", {0xA1, 0xB2}, HexError::None}, StrictCase{"A1B2", {0xA1, 0xB2}, HexError::None},
                      StrictCase{"  a1   b2 ", {0xA1, 0xB2}, HexError::None}, StrictCase{"", {}, HexError::None},
                      StrictCase{"   ", {}, HexError::None}, StrictCase{"A 1", {}, HexError::Pairs},
                      StrictCase{"A1 B 2", {}, HexError::Pairs}, StrictCase{"A1B", {}, HexError::HexChars},
                      StrictCase{"G1", {}, HexError::HexChars}, StrictCase{"1G", {}, HexError::HexChars},
                      StrictCase{"G ", {}, HexError::HexChars}, StrictCase{"0x12", {}, HexError::HexChars}));

TEST(LenientHex, SkipsLoneDigitsAndKeepsTheFirstDigitOfABadPair) {
  EXPECT_EQ(parseHex("A 1", false).bytes, Bytes{0x01});
  EXPECT_EQ(parseHex("A1 7", false).bytes, (Bytes{0xA1, 0x07}));
  EXPECT_EQ(parseHex("5G 12", false).bytes, (Bytes{0x05, 0x12}));
  EXPECT_EQ(parseHex("12B", false).bytes, (Bytes{0x12, 0x0B}));
  EXPECT_EQ(parseHex("12B", false).error, HexError::None);
}

TEST(HexErrors, AreTheSystemsOwnChineseMessagesInBothLanguages) {
  for (const int lang : {base::kLangChinese, base::kLangEnglish}) {
    base::setThreadLanguage(lang);
    EXPECT_EQ(terminal::hexErrorText(HexError::Pairs), "请按照16进制每2个字符一组的方式输入。");
    EXPECT_EQ(terminal::hexErrorText(HexError::HexChars), "请按照16进制字符要求输入。");
  }
  base::setThreadLanguage(base::kLangChinese);
}

TEST(HexFormat, EachByteOfTheTextAsAnUpperCasePairAndABlank) {
  EXPECT_EQ(terminal::formatHex("AB"), "41 42 ");
  EXPECT_EQ(terminal::formatHex(std::string("\0\xff", 2)), "00 FF ");
  EXPECT_EQ(terminal::formatHex("é"), "C3 A9 ");
  // Formatting then parsing gives the text's bytes back.
  const std::string text = "héllo\x01";
  const auto back = parseHex(terminal::formatHex(text)).bytes;
  EXPECT_EQ(std::string(back.begin(), back.end()), text);
}

TEST(HexParsing, TakesAnyBytesWithoutReadingPastTheEnd) {
  std::mt19937 random(7);
  for (int round = 0; round < 2000; ++round) {
    std::string text(random() % 12, '\0');
    for (char& c : text) c = "0A f G\x00\xff"[random() % 8];
    for (const bool strict : {true, false}) {
      const auto parsed = parseHex(text, strict);
      EXPECT_LE(parsed.bytes.size(), (text.size() + 1) / 2);
      if (parsed.error != HexError::None) {
        EXPECT_TRUE(parsed.bytes.empty());
      }
    }
  }
}

}  // namespace
