// The firmware store commands of QUBRIXTool and the composites built on them.
#include <set>
#include <stdexcept>

#include "device/commands.hpp"
#include "device/exceptions.hpp"
#include "device/frame.hpp"
#include "device/tool.hpp"

namespace qx {
namespace {

constexpr std::size_t kCreateName = 32;
constexpr std::size_t kMcuName = 16;
constexpr std::size_t kKeySize = 16;
// Names that would not fit the frames that carry no checks of their own.
constexpr std::size_t kInfoName = kReportSize - 2;
constexpr std::size_t kSyncName = kReportSize - 14;

void requireName(const std::string& name, std::size_t max, const char* message) {
  if (name.empty() || name.size() > max) throw std::invalid_argument(message);
}

constexpr const char* kName62 = "The length of name must be greater than 0 and less than 62.";
constexpr const char* kName46 = "The length of name must be greater than 0 and less than 46.";
constexpr const char* kName57 = "The length of name must be greater than 0 and less than 57.";

}  // namespace

std::vector<std::string> QUBRIXTool::listFirmware(std::uint16_t start) {
  std::vector<std::string> names;
  const auto reply = exchange(cmd::kFwList, FrameWriter(cmd::kFwList.id).u16(start).take());
  if (!reply) return names;
  std::string current;
  for (std::size_t at = 2; at < reply->size(); ++at) {
    const auto c = static_cast<char>((*reply)[at]);
    if (c != 0) {
      current += c;
      continue;
    }
    if (current.empty()) break;
    names.push_back(std::move(current));
    current.clear();
  }
  // A name still open at the frame's end was cut off; it is dropped.
  return names;
}

bool QUBRIXTool::firmwareInfo(const std::string& name, FirmwareInfo& info) {
  if (name.size() > kInfoName) throw CommandException(kStatusNameTooLong);
  const auto reply = exchange(cmd::kFwInfo, FrameWriter(cmd::kFwInfo.id).counted(name).take());
  if (!reply) return false;
  info.name = name;
  info.size = u32At(*reply, 2);
  info.modelId = u16At(*reply, 6);
  info.verifyCode = u32At(*reply, 8);
  info.time = u32At(*reply, 12);
  return true;
}

bool QUBRIXTool::createFirmware(const std::string& name, std::uint32_t fileId, std::uint32_t modelWord,
                                std::uint32_t verifyCode, const std::string& mcuName) {
  if (name.size() > kCreateName || mcuName.size() > kMcuName) throw CommandException(kStatusNameTooLong);
  return command(cmd::kFwCreate, FrameWriter(cmd::kFwCreate.id)
                    .counted(name)
                    .u32(fileId)
                    .u32(modelWord)
                    .u32(verifyCode)
                    .padded(mcuName, kMcuName)
                    .take());
}

bool QUBRIXTool::deleteFirmware(const std::string& name) {
  requireName(name, 62, kName62);
  return command(cmd::kFwDelete, FrameWriter(cmd::kFwDelete.id).counted(name).take());
}

bool QUBRIXTool::syncCacheToFirmware(const std::string& name, std::uint32_t offset, std::uint32_t length) {
  if (name.size() > kSyncName) throw CommandException(kStatusNameTooLong);
  return command(cmd::kFwSyncCacheToFw, FrameWriter(cmd::kFwSyncCacheToFw.id).counted(name).u32(0).u32(offset).u32(length).take());
}

bool QUBRIXTool::setActiveFirmware(const std::string& name) {
  requireName(name, 62, kName62);
  return command(cmd::kFwSetActive, FrameWriter(cmd::kFwSetActive.id).counted(name).take());
}

bool QUBRIXTool::setFirmwareKey(const std::string& name, std::span<const std::uint8_t> key) {
  requireName(name, 46, kName46);
  if (key.size() != kKeySize) throw std::invalid_argument("The length of key must be 16.");
  return command(cmd::kFwSetKey, FrameWriter(cmd::kFwSetKey.id).counted(name).data(key).take());
}

bool QUBRIXTool::setFirmwareTarget(const std::string& name, const std::string& internalName) {
  requireName(name, 45, kName46);
  if (internalName.empty() || internalName.size() > 16) {
    throw std::invalid_argument("The target internal name must be greater than 0 and less than 16.");
  }
  return command(cmd::kFwSetMeta, FrameWriter(cmd::kFwSetMeta.id).u8(cmd::kMetaTarget).counted(name).text(internalName).take());
}

bool QUBRIXTool::setMeta(const std::string& name, std::uint8_t subCode, std::uint32_t value) {
  requireName(name, 57, kName57);
  return command(cmd::kFwSetMeta, FrameWriter(cmd::kFwSetMeta.id).u8(subCode).counted(name).u32(value).take());
}

bool QUBRIXTool::setFirmwareUserCode(const std::string& name, std::uint32_t value) {
  return setMeta(name, cmd::kMetaUserCode, value);
}

bool QUBRIXTool::setFirmwareTime(const std::string& name, std::uint32_t seconds) {
  return setMeta(name, cmd::kMetaTime, seconds);
}

bool QUBRIXTool::setLimit(std::uint32_t fileId, std::uint32_t maxCount) {
  return command(cmd::kFwSetLimit, FrameWriter(cmd::kFwSetLimit.id).u32(fileId).u32(maxCount).take());
}

bool QUBRIXTool::getLimit(std::uint32_t fileId, LimitInfo& limit) {
  const auto reply = exchange(cmd::kFwGetLimit, FrameWriter(cmd::kFwGetLimit.id).u32(fileId).take());
  if (!reply) return false;
  limit.fileId = u32At(*reply, 1);
  limit.maxCount = u32At(*reply, 5);
  limit.count = u32At(*reply, 9);
  return true;
}

bool QUBRIXTool::incrementLimit(std::uint32_t fileId) {
  return command(cmd::kFwLimitInc, FrameWriter(cmd::kFwLimitInc.id).u32(fileId).take());
}

std::vector<FirmwareInfo> QUBRIXTool::listAllFirmware() {
  std::vector<FirmwareInfo> records;
  std::set<std::string> seen;
  std::vector<std::string> names = listFirmware(0);
  // A device that repeats itself or never ends its list must not hold the host forever.
  while (!names.empty() && records.size() < kMaxListedFirmware) {
    bool anyNew = false;
    for (const std::string& name : names) {
      if (!seen.insert(name).second) continue;
      anyNew = true;
      FirmwareInfo info;
      if (firmwareInfo(name, info)) records.push_back(std::move(info));
      if (records.size() == kMaxListedFirmware) break;
    }
    if (!anyNew) break;
    names = listFirmware(static_cast<std::uint16_t>(records.size()));
  }
  return records;
}

bool QUBRIXTool::storeFirmware(const std::string& name, std::uint32_t fileId, std::uint32_t modelWord,
                               std::uint32_t verifyCode, const std::string& mcuName, std::uint32_t userCode,
                               std::uint32_t time, std::span<const std::uint8_t> image,
                               const ProgressCallback& progress) {
  if (!createFirmware(name, fileId, modelWord, verifyCode, mcuName)) return false;
  int reported = 0;
  if (progress) progress(0);
  for (std::size_t offset = 0; offset < image.size();) {
    const std::size_t block = std::min(kStoreBlock, image.size() - offset);
    if (!writeCacheRange(image.subspan(offset, block)) ||
        !syncCacheToFirmware(name, static_cast<std::uint32_t>(offset), static_cast<std::uint32_t>(block))) {
      deleteFirmware(name);
      return false;
    }
    offset += block;
    const auto percent = static_cast<int>(offset * 100 / image.size());
    if (percent != reported) {
      reported = percent;
      if (progress) progress(percent);
    }
  }
  // A firmware without its meta values is removed; that is a failure, not a stored image.
  if (!setFirmwareUserCode(name, userCode) || !setFirmwareTime(name, time)) {
    deleteFirmware(name);
    return false;
  }
  return true;
}

}  // namespace qx
