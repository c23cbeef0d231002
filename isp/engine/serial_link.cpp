#include "isp/engine/serial_link.hpp"

namespace isp::engine {

bool SerialPortLink::open(std::uint32_t baud) {
  if (!port_.OpenAndConfigure(&owner_, path_, baud)) return false;
  if (port_.StartWorker()) return true;
  port_.Stop();
  return false;
}

}  // namespace isp::engine
