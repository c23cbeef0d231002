#pragma once
// One stored program as the list shows it: the record the programmer gave and its five texts.
#include <cstdint>
#include <string>
#include <vector>

#include "device/tool.hpp"
#include "firmware/catalogue.hpp"

namespace store {

// Programs the programmer can hold.
inline constexpr std::size_t kStoreCapacity = 50;

struct StoreRow {
  qx::FirmwareInfo info;
  std::string size;        // "%u"
  std::string model;       // the catalogue's model name for the model id, or "Unknown"
  std::string verifyCode;  // "%08X"
  std::string time;        // local time, "%d-%d-%d %02d:%02d:%02d"
};

// "2026-3-7 08:05:09" for the seconds since 1970 in the local time zone.
std::string localTimeText(std::uint32_t seconds);
StoreRow rowFor(const qx::FirmwareInfo& info, const firmware::McuList& catalogue);
std::vector<StoreRow> rowsFor(const std::vector<qx::FirmwareInfo>& programs, const firmware::McuList& catalogue);

}  // namespace store
