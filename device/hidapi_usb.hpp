#pragma once
// The programmer on hidapi (hidraw back-end on Linux): raw report I/O under the shared framing.
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "device/report.hpp"

struct hid_device_;

namespace qx {

class HidApiUSB final : public ReportTransport {
 public:
  HidApiUSB() = default;
  ~HidApiUSB() override;
  HidApiUSB(const HidApiUSB&) = delete;
  HidApiUSB& operator=(const HidApiUSB&) = delete;

  // Opens the first programmer whose serial number is this object's `serialNumber`.
  bool open() override;
  bool isOpen() const override { return device_ != nullptr; }
  void close() override;

 protected:
  int sendReport(const std::uint8_t* report, std::size_t length) override;
  int receiveReport(std::uint8_t* buffer, std::size_t length, int timeoutMs) override;
  std::string lastError() const override;

 private:
  hid_device_* device_ = nullptr;
};

// hidapi's enumeration (which hid_open runs too) keeps global state and is not safe on two threads
// at once, as when several programmers are programmed in parallel or the window looks for the
// Writer while a job looks for a programmer: every hid_enumerate and hid_open holds this.
std::mutex& enumerationMutex();

// The attached programmers in hidapi's order; entries without serial number, manufacturer or product
// string are skipped.
std::vector<std::shared_ptr<HidApiUSB>> enumerateHidDevices();
// Every HID node of the vendor (any product) as (device path, product id); reads sysfs only, so it
// also lists nodes this user may not open.
std::vector<std::pair<std::string, std::uint16_t>> enumerateVendorNodes();

}  // namespace qx
