#include "update/server_settings.hpp"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>

#include "firmware/cipher/update_service.hpp"

namespace update {
namespace {

constexpr std::string_view kSection = "Update";

std::string_view trimmed(std::string_view s) {
  const auto first = s.find_first_not_of(" \t\r");
  if (first == std::string_view::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

struct UpdateSection {
  std::optional<std::string> server;
  std::optional<std::string> user;
  std::optional<std::string> password;
};

UpdateSection readSection(std::string_view text) {
  UpdateSection found;
  bool inside = false;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    const std::string_view line = trimmed(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
    if (line.size() >= 2 && line.front() == '[' && line.back() == ']') {
      inside = trimmed(line.substr(1, line.size() - 2)) == kSection;
      continue;
    }
    const std::size_t eq = line.find('=');
    if (!inside || eq == std::string_view::npos) continue;
    const std::string_view key = trimmed(line.substr(0, eq));
    const std::string value(trimmed(line.substr(eq + 1)));
    if (key == "Server") found.server = value;
    if (key == "User") found.user = value;
    if (key == "Password") found.password = value;
  }
  return found;
}

bool isFtpUrl(const std::string& url) { return url.size() > 6 && url.compare(0, 6, "ftp://") == 0; }

}  // namespace

std::filesystem::path configFilePath() {
  std::filesystem::path root;
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg != nullptr && *xdg == '/') {
    root = xdg;
  } else if (const char* home = std::getenv("HOME"); home != nullptr && *home != '\0') {
    root = std::filesystem::path(home) / ".config";
  } else {
    root = std::filesystem::temp_directory_path();
  }
  return root / "QUBRIX" / "QUBRIX_TOOL_CONFIG.ini";
}

ServerSettings serverSettingsFrom(std::string_view iniText, const ServerSettings& builtIn) {
  const UpdateSection section = readSection(iniText);
  if (!section.server || !isFtpUrl(*section.server)) return builtIn;
  ServerSettings s{*section.server, section.user.value_or(""), section.password.value_or("")};
  if (s.url.back() != '/') s.url += '/';
  return s;
}

ServerSettings updateServer() {
  const cipher::UpdateService service = cipher::updateService();
  const ServerSettings builtIn{"ftp://" + service.host + ":21/", service.user, service.password};
  std::ifstream in(configFilePath(), std::ios::binary);
  if (!in) return builtIn;
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  return serverSettingsFrom(text, builtIn);
}

}  // namespace update
