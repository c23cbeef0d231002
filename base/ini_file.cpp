#include "base/ini_file.hpp"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

#include "base/whole_file.hpp"

namespace base {
namespace {

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  const auto last = s.find_last_not_of(" \t\r");
  return s.substr(first, last - first + 1);
}

}  // namespace

std::filesystem::path settingsDirectory() {
  std::filesystem::path base;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    base = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    base = std::filesystem::path(home) / ".config";
  } else {
    base = std::filesystem::temp_directory_path();
  }
  return base / "QUBRIX";
}

IniFile IniFile::parse(std::string_view text) {
  IniFile ini;
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  Section* current = nullptr;
  while (!text.empty()) {
    const auto end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    if (line.empty() || line.front() == ';' || line.front() == '#') continue;
    if (line.front() == '[' && line.back() == ']') {
      ini.sections_.push_back({std::string(trimmed(line.substr(1, line.size() - 2))), {}});
      current = &ini.sections_.back();
      continue;
    }
    const auto eq = line.find('=');
    if (current == nullptr || eq == std::string_view::npos) continue;
    current->entries.emplace_back(std::string(trimmed(line.substr(0, eq))),
                                  std::string(trimmed(line.substr(eq + 1))));
  }
  return ini;
}

IniFile IniFile::read(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  std::ostringstream text;
  text << in.rdbuf();
  return parse(text.str());
}

std::optional<std::string> IniFile::value(std::string_view section, std::string_view key) const {
  for (const Section& s : sections_) {
    if (s.name != section) continue;
    for (const auto& [k, v] : s.entries) {
      if (k == key) return v;
    }
  }
  return std::nullopt;
}

void IniFile::setValue(std::string_view section, std::string_view key, std::string value) {
  // A hand-edited file may name a section twice: the entry value() reads is the one to change.
  Section* last = nullptr;
  for (Section& s : sections_) {
    if (s.name != section) continue;
    for (auto& [k, v] : s.entries) {
      if (k == key) {
        v = std::move(value);
        return;
      }
    }
    last = &s;
  }
  if (last == nullptr) {
    sections_.push_back({std::string(section), {}});
    last = &sections_.back();
  }
  last->entries.emplace_back(std::string(key), std::move(value));
}

std::string IniFile::text() const {
  std::string out;
  for (const Section& s : sections_) {
    if (!out.empty()) out += '\n';
    out += '[' + s.name + "]\n";
    for (const auto& [k, v] : s.entries) out += k + '=' + v + '\n';
  }
  return out;
}

bool IniFile::write(const std::filesystem::path& path) const {
  std::error_code ignored;
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path(), ignored);
  return base::WriteWholeFile(path, text());
}

}  // namespace base
