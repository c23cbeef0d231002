#include "emulator/programmer/faults.hpp"

#include <algorithm>

namespace emulator::programmer {

std::vector<Fault> FaultPlan::take(std::uint8_t command) {
  std::vector<Fault> due;
  for (Fault& f : faults_) {
    if (f.times == 0 || (f.command && *f.command != command)) continue;
    if (std::any_of(due.begin(), due.end(), [&](const Fault& d) { return d.kind == f.kind; })) continue;
    due.push_back(f);
    if (f.times > 0) --f.times;
  }
  std::erase_if(faults_, [](const Fault& f) { return f.times == 0; });
  return due;
}

bool FaultPlan::unplugNow() {
  if (unplugAfter_ < 0) return false;
  if (unplugAfter_-- > 0) return false;
  unplugAfter_ = -1;
  return true;
}

}  // namespace emulator::programmer
