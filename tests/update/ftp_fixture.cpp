#include "tests/update/ftp_fixture.hpp"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "update/md5.hpp"
#include "update/server_settings.hpp"

extern char** environ;

namespace updatetest {
namespace {

constexpr int kStartBoundMs = 30000;

}  // namespace

FtpServer::FtpServer(const std::filesystem::path& root) : root_(root) {
  std::filesystem::create_directories(root_);
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  const std::string script = QUBRIX_FTP_SERVER_SCRIPT;
  const std::string folder = root_.string();
  char* argv[] = {const_cast<char*>("/usr/bin/python3"), const_cast<char*>(script.c_str()),
                  const_cast<char*>(folder.c_str()), const_cast<char*>(kUser), const_cast<char*>(kPassword), nullptr};
  if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv, environ) != 0) pid_ = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  std::string line;
  pollfd p{out[0], POLLIN, 0};
  while (pid_ > 0 && line.find('\n') == std::string::npos && ::poll(&p, 1, kStartBoundMs) > 0) {
    char buf[64];
    const ssize_t n = ::read(out[0], buf, sizeof buf);
    if (n <= 0) break;
    line.append(buf, static_cast<std::size_t>(n));
  }
  ::close(out[0]);
  port_ = std::atoi(line.c_str());
}

FtpServer::~FtpServer() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  int status = 0;
  ::waitpid(pid_, &status, 0);
}

void FtpServer::nameInConfiguration(const std::string& password) const {
  const auto file = update::configFilePath();
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file) << "[Update]\nServer=" << url() << "\nUser=" << kUser << "\nPassword=" << password << "\n";
}

void FtpServer::publish(const std::string& path, const std::vector<std::uint8_t>& bytes) const {
  const auto file = root_ / path;
  std::filesystem::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

void FtpServer::publish(const std::string& path, const std::string& text) const {
  publish(path, std::vector<std::uint8_t>(text.begin(), text.end()));
}

std::string manifestText(const std::string& version, const std::string& imagePath, const std::string& hash) {
  return "<?xml version=\"1.0\"?>\n<fw>\n  <latest ver=\"" + version + "\"/>\n  <firmwares>\n" +
         "    <item ver=\"1.0.0\" path=\"/old.bin\" hash=\"00000000000000000000000000000000\"/>\n" +
         "    <item ver=\"" + version + "\" path=\"" + imagePath + "\" hash=\"" + hash + "\"/>\n  </firmwares>\n</fw>\n";
}

std::string md5Hex(const std::vector<std::uint8_t>& bytes) {
  const auto file = std::filesystem::temp_directory_path() / ("qx_md5_" + std::to_string(::getpid()));
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
  std::string hex = update::fileMd5Hex(file);
  std::filesystem::remove(file);
  return hex;
}

}  // namespace updatetest
