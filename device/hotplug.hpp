#pragma once
// Plug and unplug of HID devices and whole USB devices, from a libudev monitor. The owner waits
// for the descriptor to become readable (the window with a socket notifier) and then reads the
// events.
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

struct udev;
struct udev_monitor;

namespace qx {

enum class DeviceAction { Arrival, Removal };
// A HID interface (hidraw) or a whole USB device.
enum class DeviceBus { Hid, Usb };

struct DeviceEvent {
  DeviceAction action = DeviceAction::Arrival;
  DeviceBus bus = DeviceBus::Usb;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
};

// HID_ID of a hid device, "0003:0000FFCA:00000125": bus, vendor, product.
std::optional<DeviceEvent> HidEventOf(std::string_view action, std::string_view hidId);
// PRODUCT of a usb_device, "ffca/125/100": vendor, product, release, in hex without padding.
std::optional<DeviceEvent> UsbEventOf(std::string_view action, std::string_view product);

class UdevMonitor {
 public:
  UdevMonitor();
  ~UdevMonitor();
  UdevMonitor(const UdevMonitor&) = delete;
  UdevMonitor& operator=(const UdevMonitor&) = delete;

  // -1 when no monitor could be set up (no udev in a container, say); the window then simply
  // hears of no devices.
  int fd() const;
  // The events waiting now; never blocks.
  std::vector<DeviceEvent> readEvents();

 private:
  udev* udev_ = nullptr;
  udev_monitor* monitor_ = nullptr;
};

}  // namespace qx
