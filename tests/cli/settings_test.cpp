// "General"/"LangID", read and written without Qt, in the file earlier runs wrote through QSettings.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "app/common/app_settings.hpp"
#include "base/ini_file.hpp"
#include "base/texts.hpp"
#include "tests/support/temp_home.hpp"

namespace {

const std::filesystem::path profile() { return base::settingsDirectory() / "QUBRIX Tool.ini"; }

void writeProfile(const std::string& text) {
  std::filesystem::create_directories(profile().parent_path());
  std::ofstream(profile()) << text;
}

TEST(LanguageSetting, ReadsWhatEarlierRunsWroteAndDefaultsToChinese) {
  testsupport::TempHome home;
  EXPECT_EQ(appsettings::storedLanguage(), base::kLangChinese);
  const struct {
    const char* file;
    int language;
  } cases[] = {
      {"[%General]\nLangID=1033\n", base::kLangEnglish},
      {"[%General]\nLangID=2052\n", base::kLangChinese},
      {"[%General]\nLangID=english\n", base::kLangChinese},
      {"[General]\nLangID=1033\n", base::kLangChinese},  // a key outside any group
  };
  for (const auto& c : cases) {
    writeProfile(c.file);
    EXPECT_EQ(appsettings::storedLanguage(), c.language) << c.file;
  }
}

TEST(LanguageSetting, StoringKeepsTheFilesOtherEntries) {
  testsupport::TempHome home;
  writeProfile("[%General]\nSelectedSeries=QB51\nLangID=2052\n");
  appsettings::storeLanguage(base::kLangEnglish);
  EXPECT_EQ(appsettings::storedLanguage(), base::kLangEnglish);
  const base::IniFile back = base::IniFile::read(profile());
  EXPECT_EQ(back.value("%General", "SelectedSeries"), "QB51");
  EXPECT_EQ(back.value("%General", "LangID"), "1033");
}

}  // namespace
