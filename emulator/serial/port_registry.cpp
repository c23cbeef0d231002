#include "emulator/serial/port_registry.hpp"

#include <algorithm>

namespace emulator::serial {

bool announcePorts(const std::vector<isp::PortInfo>& ports, const std::filesystem::path& file) {
  std::vector<isp::PortInfo> all = isp::readEmulatedPorts(file);
  for (const isp::PortInfo& p : ports) {
    all.erase(std::remove_if(all.begin(), all.end(), [&](const isp::PortInfo& q) { return q.path == p.path; }), all.end());
    all.push_back(p);
  }
  return isp::writeEmulatedPorts(all, file);
}

bool withdrawPorts(const std::vector<std::string>& paths, const std::filesystem::path& file) {
  std::vector<isp::PortInfo> all = isp::readEmulatedPorts(file);
  all.erase(std::remove_if(all.begin(), all.end(),
                           [&](const isp::PortInfo& p) { return std::find(paths.begin(), paths.end(), p.path) != paths.end(); }),
            all.end());
  return isp::writeEmulatedPorts(all, file);
}

}  // namespace emulator::serial
