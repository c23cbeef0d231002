#include "device/access.hpp"

#include <unistd.h>

#include <cerrno>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/hidapi_usb.hpp"
#include "device/interface.hpp"

namespace qx {

std::vector<HidNode> deniedAmong(const std::vector<HidNode>& nodes, const AccessCheck& check) {
  std::vector<HidNode> denied;
  for (const HidNode& node : nodes) {
    if (node.productId != kProductId && node.productId != kWriterProductId) continue;
    const int error = check(node.path);
    if (error == EACCES || error == EPERM) denied.push_back(node);
  }
  return denied;
}

std::vector<HidNode> deniedDevices() {
  std::vector<HidNode> nodes;
  for (const auto& [path, productId] : enumerateVendorNodes()) nodes.push_back({path, productId});
  return deniedAmong(nodes, [](const std::string& path) { return ::access(path.c_str(), R_OK | W_OK) == 0 ? 0 : errno; });
}

std::string permissionHint(const std::vector<HidNode>& denied) {
  std::string hint;
  for (const HidNode& node : denied) {
    const char* device = node.productId == kWriterProductId ? "device.access.writer" : "device.access.programmer";
    hint += base::format(base::text("device.access.denied").c_str(), base::text(device).c_str(), node.path.c_str());
    hint += "\n";
  }
  if (!hint.empty()) hint += base::text("device.access.fix");
  return hint;
}

}  // namespace qx
