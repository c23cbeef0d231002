#pragma once
// Runs a shell command as a user would type it and keeps what it printed, stdout and stderr together.
#include <functional>
#include <string>

namespace testsupport {

struct CommandRun {
  int status = -1;  // the exit status, -1 when the command did not exit normally
  std::string out;
};

CommandRun runCommand(const std::string& command);

// Starts `command` (assignments in front allowed), waits until what it printed shows `marker` (a generous minute at most), calls
// `meanwhile` with its process id, sends it `signal` (none: 0) and waits for its end.
CommandRun runSignalled(const std::string& command, const std::string& marker, int signal,
                        const std::function<void(int)>& meanwhile = {});

}  // namespace testsupport
