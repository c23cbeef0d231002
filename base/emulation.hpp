#pragma once
// QUBRIX_EMULATE: "1" attaches the emulated bench; a larger number N attaches N emulated programmers
// (a production line on one desk). Anything else, or unset, attaches nothing emulated.

namespace base {

inline constexpr int kMaxEmulatedProgrammers = 64;

// The number of emulated programmers asked for, 0 to kMaxEmulatedProgrammers.
int emulatedProgrammerCount();
bool emulationRequested();

}  // namespace base
