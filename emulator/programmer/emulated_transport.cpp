#include "emulator/programmer/emulated_transport.hpp"

#include <utility>

#include "emulator/programmer/emulated_programmer.hpp"

namespace emulator::programmer {

EmulatedTransport::EmulatedTransport(std::shared_ptr<EmulatedProgrammer> device, unsigned generation)
    : device_(std::move(device)), generation_(generation) {}

EmulatedTransport::~EmulatedTransport() { close(); }

bool EmulatedTransport::open() {
  if (open_) return true;
  if (!device_->isCurrent(generation_)) return false;
  open_ = true;
  device_->opened();
  return true;
}

void EmulatedTransport::close() {
  if (!open_) return;
  open_ = false;
  device_->closed();
}

int EmulatedTransport::sendReport(const std::uint8_t* report, std::size_t length) {
  return device_->send(generation_, report, length);
}

int EmulatedTransport::receiveReport(std::uint8_t* buffer, std::size_t length, int timeoutMs) {
  return device_->receive(generation_, buffer, length, timeoutMs);
}

std::string EmulatedTransport::lastError() const { return "The device is no longer connected."; }

}  // namespace emulator::programmer
