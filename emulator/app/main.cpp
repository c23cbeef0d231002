// qubrix-emulator: puts an emulated device of the bench on a pseudo-terminal and prints its path,
// for manual work and for trying independent tools against it. Ends on Ctrl+C or SIGTERM.
#include <atomic>
#include <csignal>
#include <iostream>
#include <string>
#include <vector>

#include "emulator/serial/device_spec.hpp"
#include "emulator/serial/serve.hpp"

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) { g_stop.store(true); }

void usage(std::ostream& out) {
  out << "usage: qubrix-emulator serial DEVICE [key=value ...]\n"
         "  serial   serve one serial device on a pseudo-terminal; prints \"PATH<TAB>PRODUCT\" and lists\n"
         "           the port among the emulated ports (qubrix ports with QUBRIX_EMULATE=1)\n"
      << emulator::serial::deviceSpecHelp();
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "--help" || args[0] == "-h") {
    usage(args.empty() ? std::cerr : std::cout);
    return args.empty() ? 2 : 0;
  }
  if (args[0] == "serial") {
    std::signal(SIGINT, onSignal);
    std::signal(SIGTERM, onSignal);
    return emulator::serial::serveSerialDevice({args.begin() + 1, args.end()}, std::cout, std::cerr, g_stop);
  }
  std::cerr << "qubrix-emulator: unknown command '" << args[0] << "'\n";
  usage(std::cerr);
  return 2;
}
