#include "device/hidapi_usb.hpp"

#include <hidapi.h>

#include <mutex>

#include "device/wide.hpp"

namespace qx {

std::mutex& enumerationMutex() {
  static std::mutex m;
  return m;
}

HidApiUSB::~HidApiUSB() { close(); }

bool HidApiUSB::open() {
  if (device_ != nullptr) return true;
  const std::wstring serial = wideFromNarrow(serialNumber);
  {
    std::lock_guard lock(enumerationMutex());
    device_ = hid_open(kVendorId, kProductId, serial.c_str());
  }
  if (device_ == nullptr) return false;
  // Every read passes its own time-out.
  hid_set_nonblocking(device_, 1);
  return true;
}

void HidApiUSB::close() {
  if (device_ == nullptr) return;
  hid_close(device_);
  device_ = nullptr;
}

int HidApiUSB::sendReport(const std::uint8_t* report, std::size_t length) {
  return hid_write(device_, report, length);
}

int HidApiUSB::receiveReport(std::uint8_t* buffer, std::size_t length, int timeoutMs) {
  return hid_read_timeout(device_, buffer, length, timeoutMs);
}

std::string HidApiUSB::lastError() const { return narrowFromWide(hid_error(device_)); }

std::vector<std::shared_ptr<HidApiUSB>> enumerateHidDevices() {
  std::vector<std::shared_ptr<HidApiUSB>> found;
  std::lock_guard lock(enumerationMutex());
  hid_device_info* list = hid_enumerate(kVendorId, kProductId);
  for (const hid_device_info* d = list; d != nullptr; d = d->next) {
    if (d->serial_number == nullptr || d->manufacturer_string == nullptr || d->product_string == nullptr) continue;
    auto usb = std::make_shared<HidApiUSB>();
    usb->vendorId = d->vendor_id;
    usb->productId = d->product_id;
    usb->manufacturer = narrowFromWide(d->manufacturer_string);
    usb->product = narrowFromWide(d->product_string);
    usb->serialNumber = narrowFromWide(d->serial_number);
    found.push_back(std::move(usb));
  }
  hid_free_enumeration(list);
  return found;
}

std::vector<std::pair<std::string, std::uint16_t>> enumerateVendorNodes() {
  std::vector<std::pair<std::string, std::uint16_t>> nodes;
  std::lock_guard lock(enumerationMutex());
  hid_device_info* list = hid_enumerate(kVendorId, 0);
  for (const hid_device_info* d = list; d != nullptr; d = d->next) {
    if (d->path != nullptr) nodes.emplace_back(d->path, d->product_id);
  }
  hid_free_enumeration(list);
  return nodes;
}

}  // namespace qx
