#pragma once
// The language of the command line's texts: --lang en|zh, else the language the user chose in the
// window (the stored "LangID"), else the locale: Chinese for zh*, English otherwise.
#include <optional>
#include <string>

namespace cli {

struct LocaleVariables {
  const char* all = nullptr;       // LC_ALL
  const char* messages = nullptr;  // LC_MESSAGES
  const char* lang = nullptr;      // LANG
};

// The language id (base::kLangEnglish or kLangChinese); nothing when `flag` is neither en nor zh.
std::optional<int> chooseLanguage(const std::optional<std::string>& flag, std::optional<int> stored,
                                  const LocaleVariables& locale);

LocaleVariables localeFromEnvironment();

}  // namespace cli
