#include "ui/main/window_rules.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <vector>

namespace mainwin {

std::string WindowTitle(std::string_view version) {
  std::string numbers;
  for (int i = 0; i < 3; ++i) {
    const auto dot = version.find('.');
    std::string_view part = version.substr(0, dot);
    unsigned long n = 0;
    bool digits = !part.empty();
    for (char c : part) digits = digits && std::isdigit(static_cast<unsigned char>(c)) != 0;
    if (digits && part.size() < 10) n = std::stoul(std::string(part));
    numbers += (i != 0 ? "." : "") + std::to_string(n);
    version = dot == std::string_view::npos ? std::string_view() : version.substr(dot + 1);
  }
  return "QUBRIX Tool v" + numbers;
}

std::string ChecksumClipboardText(std::uint32_t checksum) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%.8X", checksum);
  return buf;
}

std::string DialogFilter(std::string_view pipe) {
  std::vector<std::string_view> parts;
  while (!pipe.empty()) {
    const auto bar = pipe.find('|');
    parts.push_back(pipe.substr(0, bar));
    pipe = bar == std::string_view::npos ? std::string_view() : pipe.substr(bar + 1);
  }
  std::string out;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;
    std::string_view label = parts[i];
    if (const auto paren = label.rfind(" ("); paren != std::string_view::npos) label = label.substr(0, paren);
    std::string patterns(parts[i + 1]);
    for (char& c : patterns) c = c == ';' ? ' ' : c;
    // "*.*" would miss files without a dot on this platform.
    if (patterns == "*.*") patterns = "*";
    if (!out.empty()) out += ";;";
    out += std::string(label) + " (" + patterns + ")";
  }
  return out;
}

std::optional<FileChoice> ChooseProgramFile(std::string_view path) {
  const auto kind = firmware::ProgramFileKindOfPath(path);
  if (!kind) return std::nullopt;
  FileChoice c;
  c.kind = *kind;
  c.isHexFile = *kind == firmware::ProgramFileKind::Hex;
  c.isEncryptedProgram = *kind == firmware::ProgramFileKind::EncryptedProgram;
  c.isProductionProject = *kind == firmware::ProgramFileKind::ProductionProject;
  if (c.isEncryptedProgram) c.note = 270;
  if (c.isProductionProject) c.note = 271;
  return c;
}

LogRoom LogRoomForScale(double scale) {
  struct Row {
    double scale;
    LogRoom room;
  };
  static constexpr Row kRows[] = {{1.0, {140, 10}}, {1.25, {170, 5}}, {1.5, {200, 5}}, {1.75, {230, 5}}};
  for (const Row& r : kRows) {
    if (std::fabs(scale - r.scale) < 0.001) return r.room;
  }
  return {250, 0};
}

}  // namespace mainwin
