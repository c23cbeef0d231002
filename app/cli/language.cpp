#include "app/cli/language.hpp"

#include <cstdlib>
#include <string_view>

#include "base/texts.hpp"

namespace cli {

std::optional<int> chooseLanguage(const std::optional<std::string>& flag, std::optional<int> stored,
                                  const LocaleVariables& locale) {
  if (flag) {
    if (*flag == "en") return base::kLangEnglish;
    if (*flag == "zh") return base::kLangChinese;
    return std::nullopt;
  }
  if (stored) return *stored == base::kLangEnglish ? base::kLangEnglish : base::kLangChinese;
  // The first of them that is set and not empty decides, as for every other program.
  for (const char* v : {locale.all, locale.messages, locale.lang}) {
    if (v == nullptr || *v == '\0') continue;
    return std::string_view(v).substr(0, 2) == "zh" ? base::kLangChinese : base::kLangEnglish;
  }
  return base::kLangEnglish;
}

LocaleVariables localeFromEnvironment() {
  return {std::getenv("LC_ALL"), std::getenv("LC_MESSAGES"), std::getenv("LANG")};
}

}  // namespace cli
