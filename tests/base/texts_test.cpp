#include <gtest/gtest.h>

#include <thread>

#include "base/strformat.hpp"
#include "base/texts.hpp"

TEST(Texts, FollowTheCallingThreadsLanguage) {
  base::setThreadLanguage(base::kLangEnglish);
  EXPECT_EQ(base::text(102), "Tip");
  std::string otherThread;
  std::thread([&] { otherThread = base::text(102); }).join();
  EXPECT_EQ(otherThread, "提示") << "a new thread starts in the default language, Chinese";
  base::setThreadLanguage(base::kLangChinese);
  EXPECT_EQ(base::text(102), "提示");
}

TEST(Texts, AnyLanguageOtherThanEnglishIsChinese) {
  base::setThreadLanguage(1031);
  EXPECT_EQ(base::threadLanguage(), base::kLangChinese);
  EXPECT_EQ(base::text("caption.error"), "错误");
}

TEST(Texts, MissingKeysAreVisible) {
  EXPECT_EQ(base::text(999999), "#999999");
  EXPECT_EQ(base::textIn(base::kLangEnglish, "no.such.text"), "#no.such.text");
}

TEST(Format, TableTextsAreFormats) {
  EXPECT_EQ(base::format("Checksum: %08X", 0x12dU), "Checksum: 0000012D");
  EXPECT_EQ(base::format("%s", ""), "");
  std::string big(10000, 'x');
  EXPECT_EQ(base::format("%s!", big.c_str()).size(), 10001u);
}
