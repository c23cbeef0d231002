// qubrix models: the chip catalogue as a table or JSON, in the order of the window's series and
// models, optionally only one series and the names that match a pattern.
#include <fnmatch.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/cli/json.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "firmware/catalogue.hpp"

namespace cli {
namespace {

// Terminal columns of a UTF-8 text: East Asian wide characters take two.
std::size_t displayWidth(const std::string& s) {
  std::size_t width = 0;
  for (std::size_t i = 0; i < s.size();) {
    const auto c = static_cast<unsigned char>(s[i]);
    const std::size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
    char32_t cp = length == 1 ? c : c & (0x3F >> (length - 1));
    for (std::size_t k = 1; k < length && i + k < s.size(); ++k) {
      cp = (cp << 6) | (static_cast<unsigned char>(s[i + k]) & 0x3F);
    }
    const bool wide = (cp >= 0x1100 && cp <= 0x115F) || (cp >= 0x2E80 && cp <= 0xA4CF) ||
                      (cp >= 0xAC00 && cp <= 0xD7A3) || (cp >= 0xF900 && cp <= 0xFAFF) ||
                      (cp >= 0xFE30 && cp <= 0xFE4F) || (cp >= 0xFF00 && cp <= 0xFF60) ||
                      (cp >= 0xFFE0 && cp <= 0xFFE6);
    width += wide ? 2 : 1;
    i += length;
  }
  return width;
}

using Row = std::vector<std::string>;

void printRow(const Row& row, const std::vector<std::size_t>& widths) {
  std::string line;
  for (std::size_t i = 0; i < row.size(); ++i) {
    line += row[i];
    if (i + 1 < row.size()) line.append(widths[i] - displayWidth(row[i]) + 2, ' ');
  }
  std::printf("%s\n", line.c_str());
}

bool sameLetters(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
           return std::tolower(x) == std::tolower(y);
         });
}

// A pattern with * ? or [ is a shell pattern for the whole name; plain text is found anywhere in it.
bool nameMatches(const std::string& name, const std::string& pattern) {
  if (pattern.find_first_of("*?[") != std::string::npos) {
    return ::fnmatch(pattern.c_str(), name.c_str(), FNM_CASEFOLD) == 0;
  }
  const auto lower = [](std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
  };
  return lower(name).find(lower(pattern)) != std::string::npos;
}

void printJson(const std::vector<firmware::McuPtr>& models) {
  std::printf("[");
  for (std::size_t i = 0; i < models.size(); ++i) {
    const firmware::MCU& m = *models[i];
    std::printf("%s\n  {\"name\": %s, \"family\": %s, \"modelId\": \"0x%04X\", \"flashBytes\": %u, \"eepromBytes\": %u, "
                "\"modelCode\": \"0x%04X\"}",
                i == 0 ? "" : ",", jsonString(m.name).c_str(), jsonString(m.familyName).c_str(), m.model, m.flashSize,
                m.eepromSize, firmware::TypeIndex(m));
  }
  std::printf("%s]\n", models.empty() ? "" : "\n");
}

}  // namespace

int runModels(const std::vector<std::string>& args) {
  constexpr const char* kSynopsis = "[--family F] [--json] [PATTERN]";
  Args a(args, {{"json", 0, false, "print the models as JSON"},
                {"family", 0, true, "F  only the models of this series (e.g. QB51F)"}});
  if (auto done = finishParsing(a, "models", kSynopsis)) return *done;
  if (a.positional().size() > 1) {
    std::fprintf(stderr, "qubrix models: unexpected argument '%s'\n%s", a.positional()[1].c_str(),
                 a.usage("models", kSynopsis).c_str());
    return kExitUsage;
  }
  const firmware::McuList list = firmware::LoadCatalogue();
  if (list.empty()) {
    std::fprintf(stderr, "%s\n", base::text("firmware.cli.catalogue_empty").c_str());
    return kExitFailed;
  }
  const std::optional<std::string> family = a.value("family");
  std::vector<firmware::McuPtr> chosen;
  for (const firmware::McuPtr& m : list) {
    // A series by its full name ("QB51F Series") or by its first word ("qb51f").
    if (family && !sameLetters(m->familyName, *family) &&
        !sameLetters(m->familyName.substr(0, m->familyName.find(' ')), *family)) {
      continue;
    }
    if (!a.positional().empty() && !nameMatches(m->name, a.positional()[0])) continue;
    chosen.push_back(m);
  }
  if (a.has("json")) {
    printJson(chosen);
    return kExitOk;
  }
  std::vector<Row> rows;
  rows.push_back({base::text("firmware.cli.series"), base::text("firmware.cli.model"),
                  base::text("firmware.cli.model_id"), base::text("firmware.cli.flash"),
                  base::text("firmware.cli.eeprom"), base::text("firmware.cli.model_code")});
  for (const firmware::McuPtr& m : chosen) {
    rows.push_back({m->familyName, m->name, base::format("0x%04X", m->model),
                    base::format("%u KB", m->flashSize / 1024),
                    m->eepromSize != 0 ? base::format("%u B", m->eepromSize) : std::string("-"),
                    base::format("0x%04X", firmware::TypeIndex(*m))});
  }
  std::vector<std::size_t> widths(rows.front().size(), 0);
  for (const Row& r : rows) {
    for (std::size_t i = 0; i < r.size(); ++i) widths[i] = std::max(widths[i], displayWidth(r[i]));
  }
  for (const Row& r : rows) printRow(r, widths);
  // Nothing matched: a script can tell from the status.
  return chosen.empty() ? kExitFailed : kExitOk;
}

}  // namespace cli
