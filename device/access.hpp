#pragma once
// Programmers and Writers that are plugged in but whose device node this user may not open: without
// the udev rules a hidraw node belongs to root, and the open failure alone would not say why.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "device/usb_ids.hpp"

namespace qx {

struct HidNode {
  std::string path;  // e.g. /dev/hidraw3
  std::uint16_t productId = 0;
};

// The errno of opening `path` for reading and writing, 0 when it would succeed.
using AccessCheck = std::function<int(const std::string& path)>;

// The programmers and Writers among `nodes` that `check` refuses for lack of permission.
std::vector<HidNode> deniedAmong(const std::vector<HidNode>& nodes, const AccessCheck& check);
// The same for the attached devices, by hidapi's enumeration and access(2).
std::vector<HidNode> deniedDevices();

// What is refused and how to fix it, as log lines; empty when nothing is refused.
std::string permissionHint(const std::vector<HidNode>& denied);

}  // namespace qx
