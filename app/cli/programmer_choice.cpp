#include "app/cli/programmer_choice.hpp"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/tool.hpp"

namespace cli {
namespace {

std::string upper(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return s;
}

bool matches(const AttachedProgrammer& p, const std::string& requested) {
  if (p.serial == requested) return true;
  const std::string sn = upper(snText(p.serial));
  const std::string asked = upper(requested);
  return sn == asked || sn == "SN: " + asked;
}

std::string listing(const std::vector<AttachedProgrammer>& attached) {
  std::string out;
  for (const AttachedProgrammer& p : attached) {
    out += base::format("\n  --serial %-12s %s  %s", p.serial.c_str(), snText(p.serial).c_str(), p.product.c_str());
  }
  return out;
}

}  // namespace

std::string snText(const std::string& serial) {
  std::uint32_t id = 0;
  const auto [end, ec] = std::from_chars(serial.data(), serial.data() + serial.size(), id, 10);
  if (serial.empty() || ec != std::errc() || end != serial.data() + serial.size()) return serial;
  return base::format("SN: %08X", id);
}

ProgrammerChoice chooseProgrammer(const std::vector<AttachedProgrammer>& attached,
                                  const std::optional<std::string>& requested) {
  if (requested) {
    const auto it = std::find_if(attached.begin(), attached.end(),
                                 [&](const AttachedProgrammer& p) { return matches(p, *requested); });
    if (it != attached.end()) return {it->serial, {}};
    if (attached.empty()) return {{}, base::format(base::text("usb.cli.serial_none").c_str(), requested->c_str())};
    return {{}, base::format(base::text("usb.cli.serial_unknown").c_str(), requested->c_str()) + listing(attached)};
  }
  if (attached.size() > 1) return {{}, base::text("usb.cli.serial_several") + listing(attached)};
  return {attached.empty() ? std::string() : attached.front().serial, {}};
}

std::vector<AttachedProgrammer> attachedProgrammers() {
  std::vector<AttachedProgrammer> found;
  for (const auto& tool : qx::enumerateTools()) found.push_back({qx::toolSerialNumber(tool), qx::toolProduct(tool)});
  return found;
}

}  // namespace cli
