#include "tests/support/run_command.hpp"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

#include "tests/support/read_file.hpp"

extern char** environ;

namespace testsupport {

CommandRun runCommand(const std::string& command) {
  CommandRun run;
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return run;
  char buffer[512];
  while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) run.out += buffer;
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

CommandRun runSignalled(const std::string& command, const std::string& marker, int signal,
                        const std::function<void(int)>& meanwhile) {
  std::string output = (std::filesystem::temp_directory_path() / "qx_run_XXXXXX").string();
  const int fd = ::mkstemp(output.data());
  if (fd < 0) return {};
  ::close(fd);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  // env runs the program in this process: the signal reaches it, not a shell.
  const std::string line = "exec env " + command;
  std::vector<char*> argv = {const_cast<char*>("/bin/sh"), const_cast<char*>("-c"), const_cast<char*>(line.c_str()), nullptr};
  pid_t pid = 0;
  const bool started = posix_spawn(&pid, "/bin/sh", &actions, nullptr, argv.data(), environ) == 0;
  posix_spawn_file_actions_destroy(&actions);
  CommandRun run;
  if (started) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (readFile(output).find(marker) == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (meanwhile) meanwhile(pid);
    if (signal != 0) ::kill(pid, signal);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  run.out = readFile(output);
  std::filesystem::remove(output);
  return run;
}

}  // namespace testsupport
