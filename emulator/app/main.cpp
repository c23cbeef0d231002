// qubrix-emulator: looks after the emulated bench. "serial DEVICE" puts an emulated serial device
// on a pseudo-terminal and prints its path (ends on Ctrl+C or SIGTERM); the options show and change
// the emulated programmer's settings and start it fresh; its state lives in the user's state directory.
#include <getopt.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "emulator/programmer/config.hpp"
#include "emulator/programmer/programmer_model.hpp"
#include "emulator/programmer/state_file.hpp"
#include "emulator/serial/device_spec.hpp"
#include "emulator/serial/serve.hpp"
#include "emulator/writer/bench.hpp"

namespace {

std::atomic<bool> g_stop{false};

void onSignal(int) { g_stop.store(true); }

namespace ep = emulator::programmer;
namespace ew = emulator::writer;

void programmerUsage(std::FILE* out) {
  std::fprintf(out,
               "usage: qubrix-emulator [--reset] [--set KEY=VALUE]... [--show]\n"
               "       qubrix-emulator serial DEVICE [key=value ...]\n"
               "       qubrix-emulator writer [--set KEY=VALUE]... [--show]\n"
               "  --reset          start the emulated devices fresh (erased flash, empty store, defaults)\n"
               "  --set KEY=VALUE  change a setting of the emulated programmer; keys:\n"
               "                   ");
  for (const std::string& key : ep::configKeys()) std::fprintf(out, "%s ", key.c_str());
  std::fprintf(out,
               "\n  --show           print the programmer's settings and what it holds\n"
               "  serial DEVICE    serve one serial device on a pseudo-terminal until Ctrl+C; prints\n"
               "                   \"PATH<TAB>PRODUCT\" and lists the port among the emulated ports\n"
               "                   (qubrix ports with QUBRIX_EMULATE=1)\n"
               "  writer           the emulated Writer's pace and faults (QUBRIX_EMULATE=1); keys:\n"
               "                   pace=real|fast, silent-at=none|start|model|flash-id|length|data|check-code|\n"
               "                   file-name, check-code=right|wrong, bad-packet=N|none, unplug-after=N|none\n"
               "                   (host reports), chip-error=0|1|2, rounds=N|endless\n"
               "  -h, --help       this text\n"
               "The state directory is %s.\n%s",
               ep::stateDirectory().c_str(), emulator::serial::deviceSpecHelp().c_str());
}

void show(const ep::Config& config) {
  std::printf("%s", ep::formatConfig(config).c_str());
  const auto state = ep::loadState(ep::stateDirectory());
  if (!state) {
    std::printf("state: fresh\n");
    return;
  }
  std::printf("state: %s mode, target %s, %zu stored firmware%s\n", state->bootMode ? "bootloader" : "application",
              state->targetPowered ? "powered" : "unpowered", state->store.size(), state->store.size() == 1 ? "" : "s");
  for (const ep::StoredFirmware& f : state->store) {
    std::printf("  %s%s: %zu bytes, model word 0x%08X\n", f.name.c_str(), f.name == state->activeFirmware ? " (active)" : "",
                f.data.size(), f.modelWord);
  }
}

int serialMain(int argc, char** argv) {
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  return emulator::serial::serveSerialDevice({argv + 2, argv + argc}, std::cout, std::cerr, g_stop);
}

int writerMain(int argc, char** argv) {
  ew::WriterConfig config = ew::loadBenchWriterConfig();
  bool changed = false;
  bool showAll = argc <= 2;
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--show") {
      showAll = true;
      continue;
    }
    if (arg != "--set" || i + 1 >= argc) {
      programmerUsage(stderr);
      return 2;
    }
    const std::string s = argv[++i];
    const std::size_t eq = s.find('=');
    std::string error = "expected KEY=VALUE";
    if (eq == std::string::npos || !ew::setWriterConfigValue(config, s.substr(0, eq), s.substr(eq + 1), error)) {
      std::fprintf(stderr, "qubrix-emulator: writer --set %s: %s\n", s.c_str(), error.c_str());
      return 2;
    }
    changed = true;
  }
  if (changed && !ew::saveBenchWriterConfig(config)) {
    std::fprintf(stderr, "qubrix-emulator: cannot write %s\n", ew::writerConfigPath().c_str());
    return 1;
  }
  if (showAll) std::printf("%s", ew::formatWriterConfig(config).c_str());
  return 0;
}

int programmerMain(int argc, char** argv) {
  static const option kOptions[] = {{"reset", no_argument, nullptr, 'r'},
                                    {"set", required_argument, nullptr, 's'},
                                    {"show", no_argument, nullptr, 'w'},
                                    {"help", no_argument, nullptr, 'h'},
                                    {nullptr, 0, nullptr, 0}};
  bool reset = false;
  bool showAll = false;
  std::vector<std::string> settings;
  for (int c; (c = getopt_long(argc, argv, "h", kOptions, nullptr)) != -1;) {
    switch (c) {
      case 'r':
        reset = true;
        break;
      case 's':
        settings.emplace_back(optarg);
        break;
      case 'w':
        showAll = true;
        break;
      case 'h':
        programmerUsage(stdout);
        return 0;
      default:
        programmerUsage(stderr);
        return 2;
    }
  }
  if (optind < argc || (!reset && !showAll && settings.empty())) {
    programmerUsage(stderr);
    return 2;
  }
  const auto dir = ep::stateDirectory();
  if (reset) {
    ep::resetState(dir);
    ew::resetWriterBench();
    std::printf("The emulated devices start fresh.\n");
  }
  ep::Config config = ep::loadConfig(dir, [] {
    ep::Config bench;
    bench.delays = true;
    return bench;
  }());
  for (const std::string& s : settings) {
    const std::size_t eq = s.find('=');
    std::string error = "expected KEY=VALUE";
    if (eq == std::string::npos || !ep::setConfigValue(config, s.substr(0, eq), s.substr(eq + 1), error)) {
      std::fprintf(stderr, "qubrix-emulator: --set %s: %s\n", s.c_str(), error.c_str());
      return 2;
    }
  }
  if (!settings.empty() && !ep::saveConfig(dir, config)) {
    std::fprintf(stderr, "qubrix-emulator: cannot write %s\n", dir.c_str());
    return 1;
  }
  if (showAll) show(config);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "serial") == 0) return serialMain(argc, argv);
  if (argc > 1 && std::strcmp(argv[1], "writer") == 0) return writerMain(argc, argv);
  return programmerMain(argc, argv);
}
