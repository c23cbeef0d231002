#pragma once
// A verb of the `qubrix` tool. `run` gets the arguments after the verb and returns the exit status:
// 0 only on success, 1 when the job failed, 2 for a usage error, 3 when the final step could not
// switch the target off, 128 + the signal when SIGINT, SIGTERM or SIGHUP cancelled the job.
#include <span>
#include <string>
#include <vector>

namespace cli {

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitTargetMayBePowered = 3;

struct Command {
  const char* name;
  const char* summary;
  int (*run)(const std::vector<std::string>& args);
};

std::span<const Command> commands();

}  // namespace cli
