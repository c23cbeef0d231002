#include "emulator/programmer/clock.hpp"

#include <thread>

namespace emulator::programmer {

Millis SystemClock::now() const {
  return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

void SystemClock::sleepFor(Millis duration) {
  if (duration.count() > 0) std::this_thread::sleep_for(duration);
}

}  // namespace emulator::programmer
