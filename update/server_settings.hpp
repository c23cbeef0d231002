#pragma once
// Which FTP server the updates come from. The built-in host, user and password ship enciphered and
// are opened with AesDecryptToString on every use; a company that runs its own mirror (and a test)
// names another server in "QUBRIX_TOOL_CONFIG.ini":
//   [Update]
//   Server=ftp://host:port/
//   User=...
//   Password=...
// Only an ftp:// URL is taken; without one the built-in settings hold.
#include <filesystem>
#include <string>
#include <string_view>

namespace update {

struct ServerSettings {
  std::string url;  // "ftp://host:port/"
  std::string user;
  std::string password;
};

// $XDG_CONFIG_HOME/QUBRIX/QUBRIX_TOOL_CONFIG.ini (~/.config/QUBRIX/... without XDG_CONFIG_HOME).
std::filesystem::path configFilePath();

// The settings the configuration text names in its "Update" section over `builtIn`.
ServerSettings serverSettingsFrom(std::string_view iniText, const ServerSettings& builtIn);

// The server every download uses: the configuration file's, else the built-in one.
ServerSettings updateServer();

}  // namespace update
