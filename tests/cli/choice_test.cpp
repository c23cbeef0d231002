// Which programmer a verb takes, and which language the command line speaks.
#include <gtest/gtest.h>

#include "app/cli/language.hpp"
#include "app/cli/programmer_choice.hpp"
#include "base/texts.hpp"

namespace {

using cli::AttachedProgrammer;

TEST(ProgrammerChoice, TakesTheOnlyOneOrTheNamedOneAndListsTheOthersOtherwise) {
  base::setThreadLanguage(base::kLangEnglish);
  const std::vector<AttachedProgrammer> one = {{"439041101", "QUBRIX Tool"}};
  const std::vector<AttachedProgrammer> two = {{"439041101", "QUBRIX Tool"}, {"439041102", "QUBRIX Tool"}};
  struct Case {
    std::vector<AttachedProgrammer> attached;
    std::optional<std::string> requested;
    std::string serial;
    std::string errorStart;  // empty: no error
  };
  const Case cases[] = {
      {{}, std::nullopt, "", ""},  // the job itself says that none was found
      {one, std::nullopt, "439041101", ""},
      {two, std::nullopt, "", "Several QUBRIX Tool programmers are attached; choose one:"},
      {two, "439041102", "439041102", ""},
      {two, "1a2b3c4e", "439041102", ""},
      {two, "SN: 1A2B3C4D", "439041101", ""},
      {two, "43904110", "", "No QUBRIX Tool with serial number 43904110 is attached. Attached:"},
      {{}, "439041101", "", "No QUBRIX Tool with serial number 439041101 is attached; none is attached."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.requested.value_or("(none)") + " of " + std::to_string(c.attached.size()));
    const cli::ProgrammerChoice choice = cli::chooseProgrammer(c.attached, c.requested);
    EXPECT_EQ(choice.serial, c.serial);
    EXPECT_EQ(choice.error.rfind(c.errorStart, 0), 0u) << choice.error;
    EXPECT_EQ(choice.error.empty(), c.errorStart.empty());
    if (c.attached.size() == 2 && !choice.error.empty()) {
      // The message lists every attached programmer in the form --serial takes.
      EXPECT_NE(choice.error.find("--serial 439041101    SN: 1A2B3C4D"), std::string::npos) << choice.error;
      EXPECT_NE(choice.error.find("--serial 439041102    SN: 1A2B3C4E"), std::string::npos) << choice.error;
    }
  }
}

TEST(CliLanguage, FlagThenTheWindowsChoiceThenTheLocale) {
  constexpr int en = base::kLangEnglish;
  constexpr int zh = base::kLangChinese;
  struct Case {
    std::optional<std::string> flag;
    std::optional<int> stored;
    cli::LocaleVariables locale;
    std::optional<int> expected;
  };
  const Case cases[] = {
      {"zh", en, {"en_US.UTF-8", nullptr, nullptr}, zh},
      {"en", zh, {"zh_CN.UTF-8", nullptr, nullptr}, en},
      {"fr", std::nullopt, {}, std::nullopt},
      {std::nullopt, en, {"zh_CN.UTF-8", nullptr, nullptr}, en},
      {std::nullopt, zh, {"C", nullptr, nullptr}, zh},
      {std::nullopt, std::nullopt, {"zh_TW.UTF-8", "en_US", "en_US"}, zh},
      {std::nullopt, std::nullopt, {"", "en_GB.UTF-8", "zh_CN.UTF-8"}, en},  // an empty LC_ALL does not count
      {std::nullopt, std::nullopt, {nullptr, nullptr, "zh_CN.UTF-8"}, zh},
      {std::nullopt, std::nullopt, {nullptr, nullptr, "C.UTF-8"}, en},
      {std::nullopt, std::nullopt, {nullptr, nullptr, nullptr}, en},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.flag.value_or("-") + " " + std::to_string(c.stored.value_or(0)) + " " +
                 (c.locale.all ? c.locale.all : "-") + " " + (c.locale.lang ? c.locale.lang : "-"));
    EXPECT_EQ(cli::chooseLanguage(c.flag, c.stored, c.locale), c.expected);
  }
}

}  // namespace
