#include "device/store/store_rows.hpp"

#include <ctime>

#include "base/strformat.hpp"
#include "base/texts.hpp"

namespace store {

std::string localTimeText(std::uint32_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (localtime_r(&t, &local) == nullptr) return {};
  return base::format("%d-%d-%d %02d:%02d:%02d", local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                      local.tm_min, local.tm_sec);
}

StoreRow rowFor(const qx::FirmwareInfo& info, const firmware::McuList& catalogue) {
  StoreRow row;
  row.info = info;
  row.size = base::format("%u", info.size);
  const firmware::McuPtr model = firmware::FindByModel(catalogue, info.modelId);
  row.model = model != nullptr ? model->name : base::text("store.unknown_model");
  row.verifyCode = base::format("%08X", info.verifyCode);
  row.time = localTimeText(info.time);
  return row;
}

std::vector<StoreRow> rowsFor(const std::vector<qx::FirmwareInfo>& programs, const firmware::McuList& catalogue) {
  std::vector<StoreRow> rows;
  rows.reserve(programs.size());
  for (const qx::FirmwareInfo& p : programs) rows.push_back(rowFor(p, catalogue));
  return rows;
}

}  // namespace store
