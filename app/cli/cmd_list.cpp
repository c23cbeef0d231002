// qubrix list: the attached QUBRIX Tool programmers with product, serial number, firmware version
// and running mode.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/cli/json.hpp"
#include "app/cli/programmer_choice.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/access.hpp"
#include "device/upgrade.hpp"

namespace cli {
namespace {

struct Programmer {
  std::string product;
  std::string serial;
  std::string sn;  // "SN: %08X" of the decimal serial, as the update window shows it
  std::string version;
  std::string mode;
  bool readable = false;
};

Programmer describe(qx::QUBRIXToolUpgradeIntf& tool) {
  Programmer p;
  p.product = tool.link()->product;
  p.serial = tool.link()->serialNumber;
  p.sn = snText(p.serial);
  try {
    if (!tool.link()->open()) return p;
    const int mode = tool.getMode();
    p.mode = mode == qx::kModeApplication ? "application" : mode == qx::kModeBootloader ? "bootloader" : "unknown";
    p.version = tool.getAppVersion();
    p.readable = true;
  } catch (const std::exception&) {
    // A programmer that does not answer is still listed, as one that cannot be opened.
  }
  return p;
}

void printJson(const std::vector<Programmer>& list) {
  std::printf("[");
  for (std::size_t i = 0; i < list.size(); ++i) {
    const Programmer& p = list[i];
    std::printf("%s\n  {\"product\": %s, \"serial\": %s, \"sn\": %s, \"version\": %s, \"mode\": %s}", i == 0 ? "" : ",",
                jsonString(p.product).c_str(), jsonString(p.serial).c_str(), jsonString(p.sn).c_str(),
                p.readable ? jsonString(p.version).c_str() : "null", p.readable ? jsonString(p.mode).c_str() : "null");
  }
  std::printf("%s]\n", list.empty() ? "" : "\n");
}

}  // namespace

int runList(const std::vector<std::string>& args) {
  Args a(args, {{"json", 0, false, "print the list as JSON"}});
  if (auto done = finishParsing(a, "list", "[--json]")) return *done;
  if (!a.positional().empty()) {
    std::fprintf(stderr, "qubrix list: unexpected argument '%s'\n%s", a.positional()[0].c_str(),
                 a.usage("list", "[--json]").c_str());
    return kExitUsage;
  }
  std::vector<Programmer> list;
  for (const auto& tool : qx::enumerateUpgrade()) list.push_back(describe(*tool));
  if (const std::string hint = qx::permissionHint(qx::deniedDevices()); !hint.empty()) {
    std::fprintf(stderr, "%s\n", hint.c_str());
  }
  if (a.has("json")) {
    printJson(list);
    return kExitOk;
  }
  if (list.empty()) {
    std::printf("%s\n", base::text("device.list.none").c_str());
    return kExitOk;
  }
  for (const Programmer& p : list) {
    if (!p.readable) {
      std::printf("%s  %s  (%s)\n", p.product.c_str(), p.sn.c_str(), base::text("device.list.unreadable").c_str());
      continue;
    }
    std::printf("%s  %s  v%s  %s\n", p.product.c_str(), p.sn.c_str(), p.version.c_str(),
                base::text("device.list.mode." + p.mode).c_str());
  }
  return kExitOk;
}

}  // namespace cli
