// qubrix: the command-line front end over the same core as the window.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "app/cli/command.hpp"
#include "app/common/app_settings.hpp"
#include "emulator/programmer/bench.hpp"

namespace {

void printVerbs(std::FILE* out) {
  std::fputs("usage: qubrix <verb> [options]   (qubrix <verb> --help for its options)\n\nverbs:\n", out);
  for (const cli::Command& c : cli::commands()) {
    std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
  }
}

}  // namespace

int main(int argc, char** argv) {
  emulator::programmer::attachBenchFromEnvironment();
  if (argc < 2 || std::strcmp(argv[1], "help") == 0 || std::strcmp(argv[1], "--help") == 0 ||
      std::strcmp(argv[1], "-h") == 0) {
    printVerbs(stdout);
    return argc < 2 ? cli::kExitUsage : cli::kExitOk;
  }
  std::vector<std::string> rest(argv + 2, argv + argc);
  for (const cli::Command& c : cli::commands()) {
    if (std::strcmp(argv[1], c.name) == 0) return c.run(rest);
  }
  std::fprintf(stderr, "qubrix: unknown verb '%s'\n", argv[1]);
  printVerbs(stderr);
  return cli::kExitUsage;
}
