#pragma once
// The emulated programmers on the bench of this process: with QUBRIX_EMULATE=1 (or N for N of
// them) the front ends call attachBenchFromEnvironment() once at start, and from then on
// qx::enumerateDevices() also finds them. Its settings and state live in the state directory (state_file.hpp), so
// that one run can program and a later one verify.
#include <memory>
#include <vector>

#include "emulator/programmer/emulated_programmer.hpp"

namespace emulator::programmer {

// True when QUBRIX_EMULATE is a count of at least 1.
bool emulationRequested();
// Registers the bench's programmer with device enumeration when emulation is requested; once per
// process. Returns whether the programmer is attached.
bool attachBenchFromEnvironment();
// The process's emulated programmers, made on first use from the state directory; the first one.
const std::vector<std::shared_ptr<EmulatedProgrammer>>& benchProgrammers();
std::shared_ptr<EmulatedProgrammer> benchProgrammer();

}  // namespace emulator::programmer
