#include "app/common/app_settings.hpp"

#include <cstdlib>
#include <filesystem>
#include <string>

#include "base/ini_file.hpp"
#include "base/texts.hpp"

namespace appsettings {
namespace {

// The file and section QSettings used for "General" before: it keeps the group name "General" as
// "%General", because its own "[General]" holds keys outside any group. Files of earlier runs still
// read.
constexpr const char* kSection = "%General";
constexpr const char* kLanguageKey = "LangID";

std::filesystem::path profilePath() { return base::settingsDirectory() / "QUBRIX Tool.ini"; }

}  // namespace

int storedLanguage() {
  const std::optional<std::string> value = base::IniFile::read(profilePath()).value(kSection, kLanguageKey);
  if (!value) return base::kLangChinese;
  char* end = nullptr;
  const long id = std::strtol(value->c_str(), &end, 10);
  return end != value->c_str() && *end == '\0' ? static_cast<int>(id) : base::kLangChinese;
}

void storeLanguage(int langId) {
  base::IniFile profile = base::IniFile::read(profilePath());
  profile.setValue(kSection, kLanguageKey, std::to_string(langId));
  profile.write(profilePath());
}

}  // namespace appsettings
