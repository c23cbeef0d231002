#include "emulator/programmer/bench.hpp"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "base/emulation.hpp"
#include "device/enumerate.hpp"
#include "emulator/programmer/state_file.hpp"

namespace emulator::programmer {
namespace {

// Programmer i (from 0) of the bench: the first keeps the state directory itself, so that a bench
// of one is what it always was; the others keep theirs in a folder of their own, "programmer-N",
// with the next serial numbers and the first one's settings, which a programmer.conf there overrides.
std::shared_ptr<EmulatedProgrammer> makeBenchProgrammer(int index) {
  Config defaults;
  // On the bench the device keeps the pace of a real one.
  defaults.delays = true;
  const auto dir = stateDirectory();
  Config config = loadConfig(dir, defaults);
  std::filesystem::path own = dir;
  if (index > 0) {
    config.serial += static_cast<std::uint32_t>(index);
    own = dir / ("programmer-" + std::to_string(index + 1));
    config = loadConfig(own, config);
  }
  auto device = EmulatedProgrammer::create(config, std::make_shared<SystemClock>());
  device->setLogging(false);
  device->persistIn(own);
  return device;
}

}  // namespace

bool emulationRequested() { return base::emulationRequested(); }

const std::vector<std::shared_ptr<EmulatedProgrammer>>& benchProgrammers() {
  static std::once_flag once;
  static std::vector<std::shared_ptr<EmulatedProgrammer>> devices;
  std::call_once(once, [] {
    const int count = std::max(1, base::emulatedProgrammerCount());
    for (int i = 0; i < count; ++i) devices.push_back(makeBenchProgrammer(i));
  });
  return devices;
}

std::shared_ptr<EmulatedProgrammer> benchProgrammer() { return benchProgrammers().front(); }

bool attachBenchFromEnvironment() {
  if (!emulationRequested()) return false;
  static std::once_flag once;
  std::call_once(once, [] {
    qx::addDeviceProvider([] {
      std::vector<std::shared_ptr<qx::Interface>> found;
      for (const auto& device : benchProgrammers()) {
        if (auto link = device->attach()) found.push_back(std::move(link));
      }
      return found;
    });
  });
  return true;
}

}  // namespace emulator::programmer
