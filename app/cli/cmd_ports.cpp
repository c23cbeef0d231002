// qubrix ports: the serial ports of this machine with their adapters, as the port boxes offer them.
#include <cstdio>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/cli/json.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "isp/port_list.hpp"

namespace cli {
namespace {

void printJson(const std::vector<isp::PortInfo>& ports) {
  std::printf("[");
  for (std::size_t i = 0; i < ports.size(); ++i) {
    const isp::PortInfo& p = ports[i];
    std::printf("%s\n  {\"path\": %s, \"name\": %s, \"product\": %s, \"usb\": %s, \"emulated\": %s}", i == 0 ? "" : ",",
                jsonString(p.path).c_str(), jsonString(p.name).c_str(), jsonString(p.product).c_str(),
                p.usbVendor != 0 || p.usbProduct != 0
                    ? jsonString(base::format("%04x:%04x", p.usbVendor, p.usbProduct)).c_str()
                    : "null",
                p.emulated ? "true" : "false");
  }
  std::printf("%s]\n", ports.empty() ? "" : "\n");
}

}  // namespace

int runPorts(const std::vector<std::string>& args) {
  Args a(args, {{"json", 0, false, "print the list as JSON"}});
  if (auto done = finishParsing(a, "ports", "[--json]")) return *done;
  if (!a.positional().empty()) {
    std::fprintf(stderr, "qubrix ports: unexpected argument '%s'\n%s", a.positional()[0].c_str(),
                 a.usage("ports", "[--json]").c_str());
    return kExitUsage;
  }
  const std::vector<isp::PortInfo> ports = isp::listSerialPorts();
  if (a.has("json")) {
    printJson(ports);
    return kExitOk;
  }
  if (ports.empty()) {
    std::printf("%s\n", base::text("isp.ports.none").c_str());
    return kExitOk;
  }
  for (const isp::PortInfo& p : ports) {
    std::string line = isp::portLabel(p);
    if (p.emulated) line += " [" + base::text("isp.ports.emulated") + "]";
    std::printf("%s\n", line.c_str());
  }
  return kExitOk;
}

}  // namespace cli
