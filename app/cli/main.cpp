// qubrix: the command-line front end over the same core as the window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/command.hpp"
#include "app/common/app_settings.hpp"
#include "emulator/programmer/bench.hpp"
#include "emulator/writer/bench.hpp"

namespace {

void printVerbs(std::FILE* out) {
  std::fputs("usage: qubrix <verb> [options]   (qubrix <verb> --help for its options)\n\nverbs:\n", out);
  for (const cli::Command& c : cli::commands()) {
    std::fprintf(out, "  %-11s %s\n", c.name, c.summary);
  }
  std::fputs("\nexit status: 0 success, 1 failed, 2 usage error, 3 the target may still be powered (the final\n"
             "power-off failed), 129/130/143 cancelled by SIGHUP/SIGINT/SIGTERM (the target is powered off\n"
             "and the programmer closed first)\n",
             out);
}

}  // namespace

int main(int argc, char** argv) {
  emulator::programmer::attachBenchFromEnvironment();
  emulator::writer::attachWriterBenchFromEnvironment();
  if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0 ||
      std::strcmp(argv[1], "-h") == 0) {
    printVerbs(stdout);
    return argc < 2 ? cli::kExitUsage : cli::kExitOk;
  }
  // As every other tool prints its version.
  if (std::strcmp(argv[1], "--version") == 0) argv[1] = const_cast<char*>("version");
  std::vector<std::string> rest(argv + 2, argv + argc);
  for (const cli::Command& c : cli::commands()) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(rest);
  }
  std::fprintf(stderr, "qubrix: unknown verb '%s'\n", argv[1]);
  printVerbs(stderr);
  return cli::kExitUsage;
}
