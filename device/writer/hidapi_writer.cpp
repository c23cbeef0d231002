#include "device/writer/hidapi_writer.hpp"

#include <hidapi.h>

#include <cerrno>
#include <mutex>

#include "device/hidapi_usb.hpp"
#include "device/usb_ids.hpp"

namespace qx::writer {

HidApiWriter::~HidApiWriter() { close(); }

bool HidApiWriter::open() {
  if (device_ != nullptr) return true;
  std::lock_guard lock(qx::enumerationMutex());
  device_ = hid_open_path(path.c_str());
  if (device_ == nullptr) {
    lastError_ = static_cast<std::uint32_t>(errno);
    return false;
  }
  return true;
}

void HidApiWriter::close() {
  if (device_ == nullptr) return;
  hid_close(device_);
  device_ = nullptr;
}

bool HidApiWriter::write(const Report& report) {
  if (device_ == nullptr) return false;
  const int n = hid_write(device_, report.data(), outputReportLength < report.size() ? outputReportLength : report.size());
  if (n < 0) {
    lastError_ = static_cast<std::uint32_t>(errno);
    return false;
  }
  return true;
}

ReadResult HidApiWriter::read(Report& report, int timeoutMs) {
  if (device_ == nullptr) return ReadResult::Failed;
  // hidraw hands over the report without its id; byte 0 stays the report id 0.
  report.fill(0);
  const int n = hid_read_timeout(device_, report.data() + 1, report.size() - 1, timeoutMs);
  if (n < 0) {
    lastError_ = static_cast<std::uint32_t>(errno);
    return ReadResult::Failed;
  }
  return n == 0 ? ReadResult::Timeout : ReadResult::Got;
}

std::vector<std::shared_ptr<HidApiWriter>> enumerateHidWriters() {
  std::vector<std::shared_ptr<HidApiWriter>> found;
  std::lock_guard lock(qx::enumerationMutex());
  hid_device_info* list = hid_enumerate(qx::kVendorId, qx::kWriterProductId);
  for (const hid_device_info* d = list; d != nullptr; d = d->next) {
    if (d->path == nullptr) continue;
    auto link = std::make_shared<HidApiWriter>();
    link->path = d->path;
    found.push_back(std::move(link));
  }
  hid_free_enumeration(list);
  return found;
}

}  // namespace qx::writer
