#pragma once
// Puts served pseudo-terminals into the port list's file of emulated ports (read by the port list
// when QUBRIX_EMULATE=1), next to those of other emulator processes, and takes them out again.
#include <filesystem>
#include <string>
#include <vector>

#include "isp/port_list.hpp"

namespace emulator::serial {

bool announcePorts(const std::vector<isp::PortInfo>& ports,
                   const std::filesystem::path& file = isp::emulatedPortsFile());
bool withdrawPorts(const std::vector<std::string>& paths,
                   const std::filesystem::path& file = isp::emulatedPortsFile());

}  // namespace emulator::serial
