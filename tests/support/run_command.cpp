#include "tests/support/run_command.hpp"

#include <sys/wait.h>

#include <cstdio>

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

}  // namespace testsupport
