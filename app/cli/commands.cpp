#include "app/cli/command.hpp"

#include <cstdio>

#include "app/cli/args.hpp"

namespace cli {

int runPorts(const std::vector<std::string>& args);
int runModels(const std::vector<std::string>& args);
int runInfo(const std::vector<std::string>& args);
int runIsp(const std::vector<std::string>& args);
int runList(const std::vector<std::string>& args);
int runPack(const std::vector<std::string>& args);
int runProgram(const std::vector<std::string>& args);
int runVerify(const std::vector<std::string>& args);
int runErase(const std::vector<std::string>& args);
int runPower(const std::vector<std::string>& args);
int runTouch(const std::vector<std::string>& args);
int runTerm(const std::vector<std::string>& args);
int runStore(const std::vector<std::string>& args);
int runFirmware(const std::vector<std::string>& args);
int runSelfUpdate(const std::vector<std::string>& args);
int runWriter(const std::vector<std::string>& args);
int runUdevRules(const std::vector<std::string>& args);

namespace {

int runVersion(const std::vector<std::string>& args) {
  Args a(args, {{"json", 0, false, "print the version as JSON"}});
  if (auto done = finishParsing(a, "version", "[--json]")) return *done;
  if (a.has("json")) {
    std::printf("{\"verb\": \"version\", \"version\": \"%s\"}\n", QUBRIX_VERSION);
    return kExitOk;
  }
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
      {"pack", "make an encrypted program file or a production project file", runPack},
      {"program", "program and verify a chip through the QUBRIX Tool", runProgram},
      {"verify", "compare a chip with a program file through the QUBRIX Tool", runVerify},
      {"erase", "erase a chip's whole flash through the QUBRIX Tool", runErase},
      {"power", "switch the target board's power through the QUBRIX Tool", runPower},
      {"touch", "watch a touch target's channels, set a threshold or export them (QUBRIX Tool)", runTouch},
      {"term", "a serial terminal: show what a port receives, send text or hex bytes", runTerm},
      {"store", "list, add, delete or activate the programs stored in the QUBRIX Tool", runStore},
      {"firmware", "check for or install new QUBRIX Tool firmware (USB or a serial system bootloader)", runFirmware},
      {"self-update", "check for or install a newer version of this program", runSelfUpdate},
      {"writer", "download a program into the Writer, or watch its offline programming", runWriter},
      {"udev-rules", "print the udev rules that let the logged-in user open the devices", runUdevRules},
  };
  return kCommands;
}

}  // namespace cli
