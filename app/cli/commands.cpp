#include "app/cli/command.hpp"

#include <cstdio>

#include "app/cli/args.hpp"

namespace cli {
namespace {

int runVersion(const std::vector<std::string>& args) {
  Args a(args, {});
  if (auto done = finishParsing(a, "version", "")) return *done;
  std::printf("QUBRIX Tool v%s\n", QUBRIX_VERSION);
  return kExitOk;
}

}  // namespace

std::span<const Command> commands() {
  static const Command kCommands[] = {
      {"version", "print the program version", runVersion},
  };
  return kCommands;
}

}  // namespace cli
