#include "app/cli/command.hpp"

#include <cstdio>

#include "app/cli/args.hpp"

namespace cli {

int runPorts(const std::vector<std::string>& args);

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
      {"ports", "list the serial ports and their adapters", runPorts},
  };
  return kCommands;
}

}  // namespace cli
