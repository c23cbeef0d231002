#include "device/hotplug.hpp"

#include <libudev.h>

#include <charconv>
#include <cstdint>
#include <string>

namespace qx {
namespace {

std::optional<DeviceAction> actionOf(std::string_view action) {
  if (action == "add") return DeviceAction::Arrival;
  if (action == "remove") return DeviceAction::Removal;
  return std::nullopt;  // bind, unbind, change: the device neither came nor went
}

std::optional<std::uint16_t> hexField(std::string_view s) {
  unsigned long v = 0;
  const auto [end, ec] = std::from_chars(s.data(), s.data() + s.size(), v, 16);
  if (ec != std::errc{} || end != s.data() + s.size() || s.empty() || v > 0xFFFF) return std::nullopt;
  return static_cast<std::uint16_t>(v);
}

// The first two fields after skipping `skip` of a `separator`-split text.
std::optional<DeviceEvent> eventOf(std::string_view action, std::string_view text, char separator, int skip,
                                   DeviceBus bus) {
  const auto a = actionOf(action);
  if (!a) return std::nullopt;
  for (int i = 0; i < skip; ++i) {
    const auto p = text.find(separator);
    if (p == std::string_view::npos) return std::nullopt;
    text.remove_prefix(p + 1);
  }
  const auto p1 = text.find(separator);
  if (p1 == std::string_view::npos) return std::nullopt;
  const auto rest = text.substr(p1 + 1);
  const auto vendor = hexField(text.substr(0, p1));
  const auto product = hexField(rest.substr(0, rest.find(separator)));
  if (!vendor || !product) return std::nullopt;
  return DeviceEvent{*a, bus, *vendor, *product};
}

std::string_view str(const char* s) { return s != nullptr ? std::string_view(s) : std::string_view(); }

}  // namespace

std::optional<DeviceEvent> HidEventOf(std::string_view action, std::string_view hidId) {
  return eventOf(action, hidId, ':', 1, DeviceBus::Hid);
}

std::optional<DeviceEvent> UsbEventOf(std::string_view action, std::string_view product) {
  return eventOf(action, product, '/', 0, DeviceBus::Usb);
}

UdevMonitor::UdevMonitor() {
  udev_ = udev_new();
  if (udev_ == nullptr) return;
  monitor_ = udev_monitor_new_from_netlink(udev_, "udev");
  if (monitor_ == nullptr) return;
  // The hid device carries HID_ID and a usb_device PRODUCT in the event itself, removal included,
  // when the sysfs entries are already gone.
  udev_monitor_filter_add_match_subsystem_devtype(monitor_, "hid", nullptr);
  udev_monitor_filter_add_match_subsystem_devtype(monitor_, "usb", "usb_device");
  if (udev_monitor_enable_receiving(monitor_) < 0) {
    udev_monitor_unref(monitor_);
    monitor_ = nullptr;
  }
}

UdevMonitor::~UdevMonitor() {
  if (monitor_ != nullptr) udev_monitor_unref(monitor_);
  if (udev_ != nullptr) udev_unref(udev_);
}

int UdevMonitor::fd() const { return monitor_ != nullptr ? udev_monitor_get_fd(monitor_) : -1; }

std::vector<DeviceEvent> UdevMonitor::readEvents() {
  std::vector<DeviceEvent> events;
  if (monitor_ == nullptr) return events;
  // The monitor socket is non-blocking: receive_device returns null once nothing is waiting.
  while (udev_device* d = udev_monitor_receive_device(monitor_)) {
    const std::string_view action = str(udev_device_get_action(d));
    const std::string_view subsystem = str(udev_device_get_subsystem(d));
    std::optional<DeviceEvent> e;
    if (subsystem == "hid") {
      e = HidEventOf(action, str(udev_device_get_property_value(d, "HID_ID")));
    } else if (subsystem == "usb") {
      e = UsbEventOf(action, str(udev_device_get_property_value(d, "PRODUCT")));
    }
    if (e) events.push_back(*e);
    udev_device_unref(d);
  }
  return events;
}

}  // namespace qx
