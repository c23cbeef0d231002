#include "device/upgrade.hpp"

#include <exception>

#include "device/commands.hpp"
#include "device/enumerate.hpp"
#include "device/exceptions.hpp"
#include "device/frame.hpp"

namespace qx {

QUBRIXToolUpgradeIntf::QUBRIXToolUpgradeIntf(std::shared_ptr<Interface> transport)
    : QUBRIXToolBase(std::move(transport)) {}

QUBRIXToolUpgradeIntf::~QUBRIXToolUpgradeIntf() { closeLink(); }

int QUBRIXToolUpgradeIntf::getMode() {
  const auto reply = exchange(cmd::kUpgradeMode, FrameWriter(cmd::kUpgradeMode.id).take());
  if (!reply) return kModeNone;
  const int mode = u8At(*reply, 1);
  return mode == kModeBootloader || mode == kModeApplication ? mode : kModeNone;
}

std::string QUBRIXToolUpgradeIntf::identification(std::uint8_t subCode) {
  const auto reply = exchange(cmd::kIdentify, FrameWriter(cmd::kIdentify.id).u8(subCode).take());
  return reply ? textAt(*reply, 2, u8At(*reply, 1)) : std::string();
}

std::string QUBRIXToolUpgradeIntf::getBootIdentity() { return identification(cmd::kInfoBootIdentity); }

std::string QUBRIXToolUpgradeIntf::getAppVersion() { return identification(cmd::kInfoAppVersion); }

Bytes QUBRIXToolUpgradeIntf::readMemoryBlock(std::uint32_t address, std::uint16_t length) {
  if (length > kReadPiece) throw CommandException(kStatusOutOfRange);
  const auto reply =
      exchange(cmd::kUpgradeReadMem, FrameWriter(cmd::kUpgradeReadMem.id).u8(0).u32(address).u16(length).take());
  if (!reply) return {};
  // Never more than the frame holds, nor more than was asked for; a reply too short for its header
  // is an empty result.
  const std::size_t r = std::min<std::size_t>({u16At(*reply, 2), bytesFrom(*reply, 4), length});
  if (r == 0) return {};
  return Bytes(reply->begin() + 4, reply->begin() + 4 + static_cast<std::ptrdiff_t>(r));
}

bool QUBRIXToolUpgradeIntf::writeMemoryBlock(std::uint32_t address, std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kWritePiece) throw CommandException(kStatusOutOfRange);
  return exchange(cmd::kUpgradeWriteMem, FrameWriter(cmd::kUpgradeWriteMem.id)
                      .u8(0)
                      .u32(address)
                      .u16(static_cast<std::uint16_t>(bytes.size()))
                      .data(bytes)
                      .take())
      .has_value();
}

bool QUBRIXToolUpgradeIntf::erasePage(std::uint32_t address) {
  return exchange(cmd::kUpgradeErase, FrameWriter(cmd::kUpgradeErase.id).u8(0).u32(address).u16(1).take()).has_value();
}

void QUBRIXToolUpgradeIntf::restart(std::uint8_t mode) {
  try {
    if (link() != nullptr) link()->write(FrameWriter(cmd::kUpgradeRestart).u8(mode).take());
  } catch (const std::exception&) {
    // The device drops off the bus as it restarts; a send that fails has nothing left to tell.
  }
}

Bytes QUBRIXToolUpgradeIntf::readMemory(std::uint32_t address, std::uint32_t length) {
  Bytes result;
  result.reserve(length);
  while (result.size() < length) {
    const auto ask = static_cast<std::uint16_t>(std::min<std::size_t>(kReadPiece, length - result.size()));
    const Bytes piece = readMemoryBlock(address + static_cast<std::uint32_t>(result.size()), ask);
    if (piece.empty()) return {};
    result.insert(result.end(), piece.begin(), piece.end());
  }
  return result;
}

bool QUBRIXToolUpgradeIntf::writeMemory(std::uint32_t address, std::span<const std::uint8_t> bytes) {
  for (std::size_t at = 0; at < bytes.size(); at += kWritePiece) {
    if (!writeMemoryBlock(address + static_cast<std::uint32_t>(at),
                          bytes.subspan(at, std::min(kWritePiece, bytes.size() - at)))) {
      return false;
    }
  }
  return true;
}

std::vector<std::shared_ptr<QUBRIXToolUpgradeIntf>> enumerateUpgrade() {
  std::vector<std::shared_ptr<QUBRIXToolUpgradeIntf>> handles;
  for (auto& device : enumerateDevices()) handles.push_back(std::make_shared<QUBRIXToolUpgradeIntf>(std::move(device)));
  return handles;
}

std::shared_ptr<QUBRIXToolUpgradeIntf> firstUpgrade() {
  auto handles = enumerateUpgrade();
  return handles.empty() ? nullptr : handles.front();
}

std::shared_ptr<QUBRIXToolUpgradeIntf> findUpgradeBySerial(const std::string& serial) {
  for (auto& device : enumerateDevices()) {
    if (device->serialNumber == serial) return std::make_shared<QUBRIXToolUpgradeIntf>(std::move(device));
  }
  return nullptr;
}

}  // namespace qx
