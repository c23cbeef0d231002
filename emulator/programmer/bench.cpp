#include "emulator/programmer/bench.hpp"

#include <cstdlib>
#include <mutex>
#include <string_view>
#include <vector>

#include "device/enumerate.hpp"
#include "emulator/programmer/state_file.hpp"

namespace emulator::programmer {

bool emulationRequested() {
  const char* v = std::getenv("QUBRIX_EMULATE");
  return v != nullptr && std::string_view(v) == "1";
}

std::shared_ptr<EmulatedProgrammer> benchProgrammer() {
  static std::once_flag once;
  static std::shared_ptr<EmulatedProgrammer> device;
  std::call_once(once, [] {
    Config defaults;
    // On the bench the device keeps the pace of a real one.
    defaults.delays = true;
    const auto dir = stateDirectory();
    device = EmulatedProgrammer::create(loadConfig(dir, defaults), std::make_shared<SystemClock>());
    device->setLogging(false);
    device->persistIn(dir);
  });
  return device;
}

bool attachBenchFromEnvironment() {
  if (!emulationRequested()) return false;
  static std::once_flag once;
  std::call_once(once, [] {
    qx::addDeviceProvider([] {
      std::vector<std::shared_ptr<qx::Interface>> found;
      if (auto link = benchProgrammer()->attach()) found.push_back(std::move(link));
      return found;
    });
  });
  return true;
}

}  // namespace emulator::programmer
