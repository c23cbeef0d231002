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

std::optional<int> storedValue(const char* key) {
  const std::optional<std::string> value = base::IniFile::read(profilePath()).value(kSection, key);
  if (!value) return std::nullopt;
  char* end = nullptr;
  const long number = std::strtol(value->c_str(), &end, 10);
  if (end == value->c_str() || *end != '\0') return std::nullopt;
  return static_cast<int>(number);
}

void storeValue(const char* key, int value) {
  base::IniFile profile = base::IniFile::read(profilePath());
  profile.setValue(kSection, key, std::to_string(value));
  profile.write(profilePath());
}

}  // namespace

int storedLanguage() { return storedValue(kLanguageKey).value_or(base::kLangChinese); }

std::optional<int> chosenLanguage() { return storedValue(kLanguageKey); }

void storeLanguage(int langId) { storeValue(kLanguageKey, langId); }

int storedInt(const char* key, int fallback) { return storedValue(key).value_or(fallback); }

void storeInt(const char* key, int value) { storeValue(key, value); }

}  // namespace appsettings
