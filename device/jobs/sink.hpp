#pragma once
// What a USB job shows, reported from its worker thread: the front end marshals every call to its
// user-interface thread, in order. Jobs never touch a control. Log lines, message boxes, the
// progress bar (0..100) and the controls' state are the Reporter's calls.
#include <cstdint>
#include <optional>
#include <string>

#include "base/report.hpp"

namespace usbjobs {

// The Power button's icon shows the state the next press leaves behind.
enum class PowerIcon { Off, On };

// The unit loop a run has entered, with the number of bytes it covers (for rate and time left).
enum class Phase { Programming, Verifying };

// What a run found out, for a summary that scripts read; each field stays empty until known.
struct RunFacts {
  std::string programmerSerial;
  std::string firmwareVersion;
  std::optional<double> targetVoltage;
  std::optional<bool> targetPowered;
  // Where the run first failed ("open", "identify", "limit", "connect", "erase", "program",
  // "verify", "power") and the programmer's status code when it gave one.
  std::string failedStep;
  std::optional<int> statusCode;
  // The address of the first piece of at most 58 bytes that verification found different.
  std::optional<std::uint32_t> firstDifference;
};

class UsbJobSink : public virtual base::Reporter {
 public:
  virtual void onPowerButton(PowerIcon icon, const std::string& caption) = 0;
  virtual void onPhase(Phase, std::uint64_t /*bytes*/) {}
  // The final step could not switch the target off: it may still be powered.
  virtual void onPowerOffFailed() {}
  // Once, as the run ends.
  virtual void onFacts(const RunFacts&) {}
};

}  // namespace usbjobs
