#pragma once
// The serial ports offered to the user: terminals backed by hardware from /sys/class/tty, plus the
// emulated ports when QUBRIX_EMULATE=1. A port is identified by its device path, which is what the
// settings store and what the port classes open.
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace isp {

struct PortInfo {
  std::string path;             // e.g. "/dev/ttyUSB0"; opened and stored in the settings
  std::string name;             // e.g. "ttyUSB0"
  std::string product;          // the adapter's product name where known, else empty
  std::uint16_t usbVendor = 0;  // 0 when the port is not on a USB adapter
  std::uint16_t usbProduct = 0;
  bool emulated = false;
};

// Emulated ports (pseudo-terminals served by the emulator) reach the list through a runtime file
// rather than an in-process registry, so that a separate emulator program and the application meet
// without sharing memory: one port per line, "<path>\t<product name>", written whole by the emulator
// with writeEmulatedPorts() and read here only when QUBRIX_EMULATE=1. Lines whose path no longer
// exists (a crashed emulator) are skipped.
// The file is $XDG_RUNTIME_DIR/QUBRIX/emulated-ports, or /tmp/QUBRIX-<uid>/emulated-ports without one.
std::filesystem::path emulatedPortsFile();
bool emulationEnabled();
// Replaces the file with `ports` (temporary file, then rename); an empty list removes it.
bool writeEmulatedPorts(const std::vector<PortInfo>& ports, const std::filesystem::path& file = emulatedPortsFile());
std::vector<PortInfo> readEmulatedPorts(const std::filesystem::path& file = emulatedPortsFile());

struct PortScanOptions {
  std::filesystem::path sysClassTty = "/sys/class/tty";
  std::filesystem::path devDir = "/dev";
  bool includeEmulated = emulationEnabled();
  std::filesystem::path emulatedFile = emulatedPortsFile();
};

inline constexpr std::size_t kMaxListedPorts = 256;

// Without duplicates (paths compared without letter case), at most kMaxListedPorts, sorted by the
// length of the path and then by its text, so that ttyUSB2 comes before ttyUSB10.
std::vector<PortInfo> listSerialPorts(const PortScanOptions& options = {});

// The text for port boxes and listings: "/dev/ttyUSB0 (CP2102N USB to UART Bridge, 10c4:ea60)".
std::string portLabel(const PortInfo& port);

}  // namespace isp
