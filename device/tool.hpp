#pragma once
// The handle for online work on a target chip (identify, connect, erase, cache, burn, verify, power,
// the programmer's screen) and for the programmer's firmware store. The later programming jobs
// build on it: connect, choose the erase unit from eraseUnitA/B, then writeCacheRange and
// writeTargetFlash unit by unit, and verifyRange.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "device/tool_base.hpp"

namespace qx {

// Largest piece of one ID_WriteCache or ID_VerifyTgtFlash: id, 4-byte offset, length byte and 58.
inline constexpr std::size_t kCachePiece = 58;
// Block of an image synchronised into the store at a time.
inline constexpr std::size_t kStoreBlock = 512;
// listAllFirmware gives up after this many records; a real store holds 50.
inline constexpr std::size_t kMaxListedFirmware = 255;

struct FirmwareInfo {
  std::string name;
  std::uint32_t size = 0;
  std::uint16_t modelId = 0;
  std::uint32_t verifyCode = 0;
  std::uint32_t time = 0;  // seconds since 1970-01-01
};

struct LimitInfo {
  std::uint32_t fileId = 0;
  std::uint32_t maxCount = 0;
  std::uint32_t count = 0;
};

using ProgressCallback = std::function<void(int percent)>;

class QUBRIXTool : public QUBRIXToolBase {
 public:
  explicit QUBRIXTool(std::shared_ptr<Interface> transport);
  // Closes the transport even while others still hold it: the session ends with its handle.
  ~QUBRIXTool() override;

  // Opens the transport and reads the firmware version; false (and closed again) without one.
  bool openAndIdentify();
  const std::string& firmwareVersion() const { return firmwareVersion_; }

  // Names longer than 16 bytes raise code 162 before anything is sent.
  virtual bool connect(std::uint32_t modelWord, const std::string& name, const std::string& internalName);
  bool disconnect();
  std::uint16_t connectInfo() const { return connectInfo_; }
  std::uint32_t flashFlag() const { return flashFlag_; }
  std::uint16_t eraseUnitA() const { return eraseUnitA_; }
  std::uint16_t eraseUnitB() const { return eraseUnitB_; }

  // Mode 0: `count` units of eraseUnitA from `address`; 1: of eraseUnitB; 2 (0, 0): all.
  bool eraseTargetFlash(std::uint8_t mode, std::uint32_t address, std::uint16_t count);
  // Pieces of at most 58 bytes; a longer one raises code 11 before sending.
  bool writeCache(std::uint32_t offset, std::span<const std::uint8_t> bytes);
  bool writeTargetFlash(std::uint32_t address, std::uint16_t length);
  // false when the target differs.
  bool verifyTargetFlash(std::uint32_t address, std::span<const std::uint8_t> bytes);
  bool writeCacheRange(std::span<const std::uint8_t> bytes);
  bool verifyRange(std::uint32_t address, std::span<const std::uint8_t> bytes);
  // The address of the first piece a verifyRange found different, since this handle was made.
  std::optional<std::uint32_t> firstDifference() const { return firstDifference_; }

  bool screenClear();
  bool screenChecksum(std::uint32_t value);
  bool screenState(std::uint8_t state);
  bool screenProgress(std::uint8_t percent);
  bool writeEvent(std::uint8_t event);

  // The firmware store.
  std::vector<std::string> listFirmware(std::uint16_t start);
  bool firmwareInfo(const std::string& name, FirmwareInfo& info);
  bool createFirmware(const std::string& name, std::uint32_t fileId, std::uint32_t modelWord, std::uint32_t verifyCode,
                      const std::string& mcuName);
  bool deleteFirmware(const std::string& name);
  bool syncCacheToFirmware(const std::string& name, std::uint32_t offset, std::uint32_t length);
  bool setActiveFirmware(const std::string& name);
  bool setFirmwareKey(const std::string& name, std::span<const std::uint8_t> key);
  bool setFirmwareTarget(const std::string& name, const std::string& internalName);
  bool setFirmwareUserCode(const std::string& name, std::uint32_t value);
  bool setFirmwareTime(const std::string& name, std::uint32_t seconds);
  bool setLimit(std::uint32_t fileId, std::uint32_t maxCount);
  bool getLimit(std::uint32_t fileId, LimitInfo& limit);
  bool incrementLimit(std::uint32_t fileId);

  std::vector<FirmwareInfo> listAllFirmware();
  // Creates the firmware and fills it block by block through the cache; a half-written one is
  // deleted again, also when its meta values cannot be set (then the result is false).
  // `progress` (optional) gets 0, then each new percentage up to 100.
  bool storeFirmware(const std::string& name, std::uint32_t fileId, std::uint32_t modelWord, std::uint32_t verifyCode,
                     const std::string& mcuName, std::uint32_t userCode, std::uint32_t time,
                     std::span<const std::uint8_t> image, const ProgressCallback& progress = {});

 private:
  bool setMeta(const std::string& name, std::uint8_t subCode, std::uint32_t value);

  std::string firmwareVersion_;
  std::uint16_t connectInfo_ = 0;
  std::uint32_t flashFlag_ = 0;
  std::uint16_t eraseUnitA_ = 0;
  std::uint16_t eraseUnitB_ = 0;
  std::optional<std::uint32_t> firstDifference_;
};

// One handle per attached programmer, in enumeration order; the first, or null when none.
std::vector<std::shared_ptr<QUBRIXTool>> enumerateTools();
std::shared_ptr<QUBRIXTool> firstTool();
// The programmer with this serial number, or null; an empty serial number gives firstTool().
std::shared_ptr<QUBRIXTool> toolWithSerial(const std::string& serial);

}  // namespace qx
