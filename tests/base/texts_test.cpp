#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

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

namespace {

// The printf conversions of a text in order, "%%" left out.
std::vector<std::string> conversions(const std::string& text) {
  static const std::regex conversion(R"(%[-+ #0]*(\*|[0-9]+)?(\.(\*|[0-9]+))?(hh|h|ll|l|z|j|t|L)?[diouxXeEfgGcsp%])");
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), conversion); it != std::sregex_iterator(); ++it) {
    if (it->str() != "%%") found.push_back(it->str());
  }
  return found;
}

}  // namespace

TEST(TextTable, EveryNumberAndNameOnceWithTheSameConversionsInBothLanguages) {
  std::map<int, int> numbers;
  std::map<std::string, int> names;
  for (const base::TextRow& row : base::textRows()) {
    if (row.name != nullptr) {
      EXPECT_EQ(row.id, 0) << row.name;
      ++names[row.name];
    } else {
      EXPECT_GT(row.id, 0);
      ++numbers[row.id];
    }
    const std::string key = row.name != nullptr ? row.name : std::to_string(row.id);
    EXPECT_EQ(conversions(row.en), conversions(row.zh)) << key << ": " << row.en << " / " << row.zh;
  }
  for (const auto& [id, count] : numbers) EXPECT_EQ(count, 1) << "text " << id << " is listed " << count << " times";
  for (const auto& [name, count] : names) EXPECT_EQ(count, 1) << "text " << name << " is listed " << count << " times";
}

TEST(TextTable, TheConversionCheckSeesWhatPrintfSees) {
  EXPECT_EQ(conversions("Checksum: %08X, %.2fs, 100%%, %s"), (std::vector<std::string>{"%08X", "%.2f", "%s"}));
  EXPECT_EQ(conversions("%lu %-5d"), (std::vector<std::string>{"%lu", "%-5d"}));
}
