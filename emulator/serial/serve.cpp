#include "emulator/serial/serve.hpp"

#include <chrono>
#include <optional>
#include <ostream>
#include <thread>

#include "emulator/serial/device_spec.hpp"
#include "emulator/serial/port_registry.hpp"
#include "emulator/serial/pty_host.hpp"

namespace emulator::serial {

int serveSerialDevice(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                      const std::atomic<bool>& stop) {
  std::string error;
  const auto spec = parseDeviceSpec(words, error);
  if (!spec) {
    err << "qubrix-emulator: " << error << "\n" << deviceSpecHelp();
    return 2;
  }
  PtyHost host(makeDevice(*spec));
  if (!host.start()) {
    err << "qubrix-emulator: no pseudo-terminal could be made\n";
    return 1;
  }
  isp::PortInfo port;
  port.path = host.path();
  port.product = host.productName();
  port.emulated = true;
  if (!announcePorts({port})) err << "qubrix-emulator: the port list's file of emulated ports could not be written\n";
  out << host.path() << "\t" << host.productName() << std::endl;
  // A device that powers a target says so on a line of its own each time it switches it.
  std::optional<bool> shownPower;
  for (bool last = false; !last;) {
    last = stop.load() || host.unplugged();
    const std::optional<bool> power = host.targetPowered();
    if (power && power != shownPower) out << (*power ? "target powered" : "target unpowered") << std::endl;
    shownPower = power;
    if (!last) std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  withdrawPorts({host.path()});
  host.stop();
  return 0;
}

}  // namespace emulator::serial
