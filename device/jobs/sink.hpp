#pragma once
// What a USB job shows, reported from its worker thread: the front end marshals every call to its
// user-interface thread, in order. Jobs never touch a control. Log lines, message boxes, the
// progress bar (0..100) and the controls' state are the Reporter's calls.
#include <cstdint>
#include <string>

#include "base/report.hpp"

namespace usbjobs {

// The Power button's icon shows the state the next press leaves behind.
enum class PowerIcon { Off, On };

// The unit loop a run has entered, with the number of bytes it covers (for rate and time left).
enum class Phase { Programming, Verifying };

class UsbJobSink : public virtual base::Reporter {
 public:
  virtual void onPowerButton(PowerIcon icon, const std::string& caption) = 0;
  virtual void onPhase(Phase, std::uint64_t /*bytes*/) {}
};

}  // namespace usbjobs
