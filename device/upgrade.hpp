#pragma once
// The handle for the programmer's bootloader: running mode, restarts, and its own flash by address.
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "device/tool_base.hpp"

namespace qx {

inline constexpr int kModeNone = 0;
inline constexpr int kModeBootloader = 1;
inline constexpr int kModeApplication = 2;
// Largest pieces: 4 reply header bytes + 60 data; 8 request header bytes + 56 data.
inline constexpr std::size_t kReadPiece = 60;
inline constexpr std::size_t kWritePiece = 56;

class QUBRIXToolUpgradeIntf : public QUBRIXToolBase {
 public:
  explicit QUBRIXToolUpgradeIntf(std::shared_ptr<Interface> transport);
  ~QUBRIXToolUpgradeIntf() override;

  // kModeBootloader, kModeApplication, or kModeNone for anything else; never raises for a mismatch.
  int getMode();
  std::string getBootIdentity();
  std::string getAppVersion();

  // At most 60 / 56 bytes; longer requests raise code 11 before sending.
  Bytes readMemoryBlock(std::uint32_t address, std::uint16_t length);
  bool writeMemoryBlock(std::uint32_t address, std::span<const std::uint8_t> bytes);
  bool erasePage(std::uint32_t address);
  // Sends the frame and reads nothing; a failing send is ignored (the device may be gone already).
  void restart(std::uint8_t mode);

  // Empty when any piece brings no data.
  Bytes readMemory(std::uint32_t address, std::uint32_t length);
  bool writeMemory(std::uint32_t address, std::span<const std::uint8_t> bytes);

 private:
  std::string identification(std::uint8_t subCode);
};

std::vector<std::shared_ptr<QUBRIXToolUpgradeIntf>> enumerateUpgrade();
std::shared_ptr<QUBRIXToolUpgradeIntf> firstUpgrade();
// The first handle whose serial number is exactly `serial`, or null.
std::shared_ptr<QUBRIXToolUpgradeIntf> findUpgradeBySerial(const std::string& serial);

}  // namespace qx
