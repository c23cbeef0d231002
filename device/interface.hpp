#pragma once
// The transport to one programmer: one 64-byte output report, then one 64-byte input report.
// The command layer hands plain payloads to `write` and gets plain payloads from `read`; framing and
// the cipher live below this interface, so protocol code never asks which backend it has.
#include <cstdint>
#include <string>
#include <vector>

#include "device/usb_ids.hpp"

namespace qx {

inline constexpr std::size_t kReportSize = 64;

using Bytes = std::vector<std::uint8_t>;

class Interface {
 public:
  virtual ~Interface() = default;

  virtual bool open() = 0;
  virtual bool isOpen() const = 0;
  virtual void close() = 0;
  // false without sending while closed; throws DeviceException on a transport error.
  virtual bool write(Bytes payload) = 0;
  // 64 bytes; empty while closed. Throws DeviceException on a transport error and
  // ReadTimeoutException after three silent waits of `timeoutMs`.
  virtual Bytes read(int timeoutMs) = 0;

  // What enumeration learned about the device; the serial number is also the key to open it.
  std::uint16_t vendorId = kVendorId;
  std::uint16_t productId = kProductId;
  std::string manufacturer;
  std::string product;
  std::string serialNumber;
};

}  // namespace qx
