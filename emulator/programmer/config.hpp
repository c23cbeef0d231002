#pragma once
// How the emulated programmer is built: identity, the target in its socket, the store's listing,
// the touch target and the pace of its replies. Kept as "key=value" lines so that a user can read
// it and qubrix-emulator can change it between runs.
#include <cstdint>
#include <string>
#include <vector>

namespace emulator::programmer {

enum class EraseUnits { A, B, None };

struct Config {
  std::string manufacturer = "QUBRIX";
  std::string product = "QUBRIX Tool";
  std::uint32_t serial = 439041101;  // shown as "SN: 1A2B3C4D"
  // Written into a fresh programmer flash; afterwards the version comes from the image there.
  std::string firmwareVersion = "1.0.2.8";
  std::uint8_t versionType = 0;
  std::string vendor;
  std::string bootIdentity = "QUBRIX Tool Boot";
  // In its bootloader the programmer enumerates with the boot identity as its serial number.
  bool bootSerialIsIdentity = false;

  bool targetAttached = true;
  // A catalogue model name fixes the chip in the socket; empty is a universal socket that takes the
  // model the first connect asks for (and keeps it until the state is reset).
  std::string fixedModel;
  EraseUnits eraseUnits = EraseUnits::A;
  std::uint16_t eraseUnitSize = 512;
  std::uint32_t centivolts = 330;

  int namesPerReply = 0;  // 0: as many as fit into a frame
  int touchChannels = 8;
  bool delays = false;
  // The faults the device shows from the start of each process that attaches it, as
  // FaultPlan::parse reads them; empty: none.
  std::string faults;
};

// Every key with its current value, one "key=value" per line, in a fixed order.
std::string formatConfig(const Config& config);
// Lines that do not parse (and unknown keys) are ignored, so a damaged file still gives a device.
Config parseConfig(const std::string& text, const Config& defaults = {});
// Sets one key; false with a reason in `error` for an unknown key or an unusable value.
bool setConfigValue(Config& config, const std::string& key, const std::string& value, std::string& error);
std::vector<std::string> configKeys();

std::string serialText(const Config& config);

}  // namespace emulator::programmer
