#pragma once
// Device discovery: the attached programmers from hidapi, then those of any registered provider
// (the emulated bench registers itself here, so device/ never depends on it).
#include <functional>
#include <memory>
#include <vector>

#include "device/interface.hpp"

namespace qx {

using DeviceProvider = std::function<std::vector<std::shared_ptr<Interface>>()>;

// Returns an id for removeDeviceProvider. Providers are asked in the order they were added.
int addDeviceProvider(DeviceProvider provider);
void removeDeviceProvider(int id);

// Whether enumerateDevices asks hidapi (on by default); tests that must see only emulated devices
// switch it off.
void setHardwareEnumeration(bool enabled);
bool hardwareEnumeration();

std::vector<std::shared_ptr<Interface>> enumerateDevices();

}  // namespace qx
