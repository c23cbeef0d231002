#pragma once
// The bilingual text table. Texts are keyed by their string-table number, or by a dotted name for
// texts that have none, and follow the calling thread's user-interface language.
#include <span>
#include <string>
#include <string_view>

#include "base/text_ids.hpp"

namespace base {

inline constexpr int kLangChinese = 2052;
inline constexpr int kLangEnglish = 1033;

// Any id other than 1033 selects Chinese, as the stored "LangID" defaults to 2052.
void setThreadLanguage(int langId);
int threadLanguage();
bool threadIsEnglish();

// Unknown keys give "#<id>" or "#<name>", so a missing entry is visible rather than silent.
const std::string& text(int id);
const std::string& text(std::string_view name);

// One row of the table: its string-table number (0 for named texts), its dotted name (nullptr for
// numbered texts), English, Chinese.
struct TextRow {
  int id;
  const char* name;
  const char* en;
  const char* zh;
};
// Every row, as the fragments list them, for checks of the table itself.
std::span<const TextRow> textRows();

// The same texts in a chosen language, for tests and for places that must show both.
const std::string& textIn(int langId, int id);
const std::string& textIn(int langId, std::string_view name);

}  // namespace base
