#include "device/enumerate.hpp"

#include <atomic>
#include <mutex>
#include <utility>

#include "device/hidapi_usb.hpp"

namespace qx {
namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::pair<int, DeviceProvider>> providers;
  int nextId = 1;
};

Registry& registry() {
  static Registry r;
  return r;
}

std::atomic<bool> g_hardware{true};

}  // namespace

int addDeviceProvider(DeviceProvider provider) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  const int id = r.nextId++;
  r.providers.emplace_back(id, std::move(provider));
  return id;
}

void removeDeviceProvider(int id) {
  Registry& r = registry();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.providers, [id](const auto& p) { return p.first == id; });
}

void setHardwareEnumeration(bool enabled) { g_hardware = enabled; }

bool hardwareEnumeration() { return g_hardware; }

std::vector<std::shared_ptr<Interface>> enumerateDevices() {
  std::vector<std::shared_ptr<Interface>> found;
  if (g_hardware) {
    for (auto& usb : enumerateHidDevices()) found.push_back(std::move(usb));
  }
  std::vector<DeviceProvider> providers;
  {
    Registry& r = registry();
    std::lock_guard lock(r.mutex);
    for (const auto& p : r.providers) providers.push_back(p.second);
  }
  // Called outside the lock, so a provider may itself add or remove providers.
  for (const DeviceProvider& provider : providers) {
    for (auto& device : provider()) {
      if (device != nullptr) found.push_back(std::move(device));
    }
  }
  return found;
}

}  // namespace qx
