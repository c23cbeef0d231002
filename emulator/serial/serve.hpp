#pragma once
// What the qubrix-emulator program does for a serial device: build it from words (device_spec.hpp),
// serve it on a pseudo-terminal, print the path, put the port into the port list's file of
// emulated ports, and take it out again when `stop` says so. A device with a target board (the
// downloader) prints "target powered" or "target unpowered" each time it switches it.
#include <atomic>
#include <iosfwd>
#include <string>
#include <vector>

namespace emulator::serial {

// Returns the exit status: 0 after a clean stop, 2 for words that name no device, 1 when no
// pseudo-terminal could be made. Checks `stop` every 50 ms; ends by itself when the device's
// cable is pulled.
int serveSerialDevice(const std::vector<std::string>& words, std::ostream& out, std::ostream& err,
                      const std::atomic<bool>& stop);

}  // namespace emulator::serial
