#pragma once
// A real FTP server (python3-pyftpdlib) on a free loopback port, serving a temporary folder the
// test fills, and named in the test's configuration file as the update server.
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace updatetest {

class FtpServer {
 public:
  static constexpr const char* kUser = "tester";
  static constexpr const char* kPassword = "s3cret";

  // Starts the server; port() is 0 when it could not start.
  explicit FtpServer(const std::filesystem::path& root);
  ~FtpServer();
  FtpServer(const FtpServer&) = delete;
  FtpServer& operator=(const FtpServer&) = delete;

  int port() const { return port_; }
  std::string url() const { return "ftp://127.0.0.1:" + std::to_string(port_) + "/"; }
  // Writes the "Update" section into $XDG_CONFIG_HOME/QUBRIX/QUBRIX_TOOL_CONFIG.ini.
  void nameInConfiguration(const std::string& password = kPassword) const;
  // Puts a file under the served folder (path relative to it, folders made as needed).
  void publish(const std::string& path, const std::vector<std::uint8_t>& bytes) const;
  void publish(const std::string& path, const std::string& text) const;

 private:
  std::filesystem::path root_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A manifest whose latest version is `version`, published at `imagePath` with `hash`.
std::string manifestText(const std::string& version, const std::string& imagePath, const std::string& hash);
std::string md5Hex(const std::vector<std::uint8_t>& bytes);

}  // namespace updatetest
