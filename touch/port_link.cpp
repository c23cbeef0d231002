#include "touch/port_link.hpp"

namespace touch {

bool PortLink::open(std::uint32_t baud) {
  if (path_.empty()) return false;
  if (port_.IsOpen() && release_) release_();
  if (!port_.OpenAndConfigure(&owner_, path_, baud)) return false;
  if (port_.StartWorker()) return true;
  port_.Stop();
  return false;
}

}  // namespace touch
