#include "base/texts.hpp"

#include <map>
#include <string>
#include <unordered_map>

namespace base {
namespace {

// One fragment per subsystem keeps each table short and lets subsystems grow independently.
constexpr TextRow kEntries[] = {
#include "base/texts/common.inc"
#include "base/texts/app.inc"
#include "base/texts/device.inc"
#include "base/texts/firmware.inc"
#include "base/texts/isp.inc"
#include "base/texts/isp_panel.inc"
#include "base/texts/ui_main.inc"
#include "base/texts/writer.inc"
#include "base/texts/touch.inc"
#include "base/texts/serial.inc"
#include "base/texts/update.inc"
#include "base/texts/store.inc"
};

struct Pair {
  std::string en;
  std::string zh;
};

struct Table {
  std::unordered_map<int, Pair> byId;
  std::map<std::string, Pair, std::less<>> byName;
  Table() {
    for (const TextRow& e : kEntries) {
      Pair p{e.en, e.zh};
      if (e.name != nullptr) {
        byName.emplace(e.name, std::move(p));
      } else {
        byId.emplace(e.id, std::move(p));
      }
    }
  }
};

const Table& table() {
  static const Table t;
  return t;
}

thread_local int g_language = kLangChinese;

const std::string& missing(std::string key) {
  // Missing keys are rare and only seen during development; keep their texts alive forever.
  static thread_local std::map<std::string, std::string> shown;
  auto [it, added] = shown.try_emplace(key, "#" + key);
  return it->second;
}

const std::string& pick(const Pair& p, int langId) {
  return langId == kLangEnglish ? p.en : p.zh;
}

}  // namespace

std::span<const TextRow> textRows() { return kEntries; }

void setThreadLanguage(int langId) { g_language = langId == kLangEnglish ? kLangEnglish : kLangChinese; }
int threadLanguage() { return g_language; }
bool threadIsEnglish() { return g_language == kLangEnglish; }

const std::string& textIn(int langId, int id) {
  const auto& t = table().byId;
  auto it = t.find(id);
  return it == t.end() ? missing(std::to_string(id)) : pick(it->second, langId);
}

const std::string& textIn(int langId, std::string_view name) {
  const auto& t = table().byName;
  auto it = t.find(name);
  return it == t.end() ? missing(std::string(name)) : pick(it->second, langId);
}

const std::string& text(int id) { return textIn(g_language, id); }
const std::string& text(std::string_view name) { return textIn(g_language, name); }

}  // namespace base
