#pragma once
// The USB jobs of the ISP panel and the command line. Each runs to its end on the calling thread
// (a worker, see worker.hpp), reports only through the sink, and tests `running` between units: a
// cleared flag is the user's cancel. Whenever a programmer was taken, the run ends with the target
// powered off and the programmer closed.
#include <atomic>
#include <string>

#include "device/jobs/job.hpp"
#include "device/jobs/sink.hpp"
#include "firmware/mcu.hpp"

namespace usbjobs {

// Limit checks, screen sequence, connect, padding, erase, unit-by-unit cache writes and burns,
// verification, write events and the limit increment.
base::Outcome runProgram(const UsbJob& job, UsbJobSink& sink, const std::atomic<bool>& running);

// Compares the first dataLength bytes with the target, unit by unit.
base::Outcome runVerify(const UsbJob& job, UsbJobSink& sink, const std::atomic<bool>& running);

// `serial` below chooses the programmer; empty takes the first one attached.

// Switches the target power to the opposite of what the programmer reports. A cancel before the
// switch keeps an unpowered target unpowered; switching off goes ahead, as it is the safe state.
base::Outcome runPowerToggle(UsbJobSink& sink, const std::atomic<bool>& running, const std::string& serial = {});
// Switches the target power on or off and leaves it so; cancelled as the toggle.
base::Outcome runPowerSwitch(bool on, UsbJobSink& sink, const std::atomic<bool>& running,
                             const std::string& serial = {});
// Reads whether the target is powered, and its voltage, into the facts; changes nothing.
base::Outcome runPowerStatus(UsbJobSink& sink, const std::string& serial = {});

// Connects to the model, erases the whole flash (mode 2) and disconnects. A cancel before the erase
// command leaves the flash as it was; the erase itself cannot stop half-way.
base::Outcome runErase(const firmware::MCU& model, UsbJobSink& sink, const std::atomic<bool>& running,
                       const std::string& serial = {});

}  // namespace usbjobs
