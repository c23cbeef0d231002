#pragma once
// Runs a shell command as a user would type it and keeps what it printed, stdout and stderr together.
#include <string>

namespace testsupport {

struct CommandRun {
  int status = -1;  // the exit status, -1 when the command did not exit normally
  std::string out;
};

CommandRun runCommand(const std::string& command);

}  // namespace testsupport
