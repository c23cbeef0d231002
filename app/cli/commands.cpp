#include "app/cli/command.hpp"

#include <cstdio>

#include "app/cli/args.hpp"

namespace cli {

int runPorts(const std::vector<std::string>& args);
int runModels(const std::vector<std::string>& args);
int runInfo(const std::vector<std::string>& args);
int runIsp(const std::vector<std::string>& args);
int runList(const std::vector<std::string>& args);

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
      {"list", "list the attached QUBRIX Tool programmers", runList},
      {"ports", "list the serial ports and their adapters", runPorts},
      {"models", "list the chip models the program knows", runModels},
      {"info", "load a program file for a model and show its checksum and size", runInfo},
      {"isp", "program or check a chip through a serial port (bootloader or QUBRIX Tool)", runIsp},
  };
  return kCommands;
}

}  // namespace cli
