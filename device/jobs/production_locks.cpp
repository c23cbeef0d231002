#include "device/jobs/production_locks.hpp"

#include <cstdlib>
#include <string>

#include "base/texts.hpp"
#include "base/trace.hpp"

namespace usbjobs {

bool checkWriterId(Session& s, const production::ProductionSettings& p) {
  if (!p.writer_ID_limit_enable) return true;
  const std::string serial = qx::toolSerialNumber(s.handle());
  char* end = nullptr;
  const unsigned long long id = std::strtoull(serial.c_str(), &end, 10);
  if (serial.empty() || *end != '\0' || id != p.write_id_num) {
    s.error(base::text("usb.tool_mismatch"));
    return false;
  }
  return true;
}

bool checkProductionLimits(Session& s, const UsbJob& job) {
  const production::ProductionSettings& p = job.production;
  base::trace("encrypt_file_id=%08X, write_limit_num_enable=%d, write_num_max=%d, writer_ID_limit_enable=%d, "
              "write_id_num=%d\n",
              p.encrypt_file_id, p.write_limit_num_enable ? 1 : 0, static_cast<int>(p.write_num_max),
              p.writer_ID_limit_enable ? 1 : 0, static_cast<int>(p.write_id_num));
  if (!checkWriterId(s, p)) return false;
  if (!p.write_limit_num_enable) return true;
  qx::LimitInfo limit;
  if (!s.attempt([&] { return s.tool().getLimit(p.encrypt_file_id, limit); })) {
    s.error(base::text("usb.limit_get_failed"));
    return false;
  }
  if (limit.fileId != p.encrypt_file_id) {
    // The record belongs to another file: start this file's counter.
    if (!s.attempt([&] { return s.tool().setLimit(p.encrypt_file_id, p.write_num_max); })) {
      s.error(base::text("usb.limit_set_failed"));
      return false;
    }
    limit = {p.encrypt_file_id, p.write_num_max, 0};
  }
  if (limit.count >= limit.maxCount) {
    s.error(base::text("usb.limit_reached"));
    return false;
  }
  return true;
}

}  // namespace usbjobs
