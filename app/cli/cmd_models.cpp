// qubrix models: the chip catalogue as a table, in the order of the window's series and models.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
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

}  // namespace

int runModels(const std::vector<std::string>& args) {
  Args a(args, {});
  if (auto done = finishParsing(a, "models", "")) return *done;
  if (!a.positional().empty()) {
    std::fprintf(stderr, "qubrix models: unexpected argument '%s'\n%s", a.positional()[0].c_str(),
                 a.usage("models", "").c_str());
    return kExitUsage;
  }
  const firmware::McuList list = firmware::LoadCatalogue();
  if (list.empty()) {
    std::fprintf(stderr, "%s\n", base::text("firmware.cli.catalogue_empty").c_str());
    return kExitFailed;
  }
  std::vector<Row> rows;
  rows.push_back({base::text("firmware.cli.series"), base::text("firmware.cli.model"),
                  base::text("firmware.cli.model_id"), base::text("firmware.cli.flash"),
                  base::text("firmware.cli.eeprom"), base::text("firmware.cli.model_code")});
  for (const firmware::McuPtr& m : list) {
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
  return kExitOk;
}

}  // namespace cli
