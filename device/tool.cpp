#include "device/tool.hpp"

#include "device/commands.hpp"
#include "device/enumerate.hpp"
#include "device/exceptions.hpp"
#include "device/frame.hpp"

namespace qx {
namespace {

constexpr std::size_t kConnectName = 16;

}  // namespace

QUBRIXTool::QUBRIXTool(std::shared_ptr<Interface> transport) : QUBRIXToolBase(std::move(transport)) {}

QUBRIXTool::~QUBRIXTool() { closeLink(); }

bool QUBRIXTool::openAndIdentify() {
  if (link() == nullptr || !link()->open()) return false;
  const auto reply = exchange(cmd::kIdentify, FrameWriter(cmd::kIdentify.id).u8(cmd::kInfoAppVersion).take());
  const std::string version = reply ? textAt(*reply, 2, u8At(*reply, 1)) : std::string();
  if (version.empty()) {
    link()->close();
    return false;
  }
  firmwareVersion_ = version;
  return true;
}

bool QUBRIXTool::connect(std::uint32_t modelWord, const std::string& name, const std::string& internalName) {
  if (name.size() > kConnectName || internalName.size() > kConnectName) throw CommandException(kStatusNameTooLong);
  const auto reply = exchange(cmd::kConnect, FrameWriter(cmd::kConnect.id)
                                  .u32(modelWord)
                                  .padded(name, kConnectName)
                                  .padded(internalName, kConnectName)
                                  .take());
  if (!reply) return false;
  connectInfo_ = u16At(*reply, 2);
  flashFlag_ = u32At(*reply, 4) != 0 ? 1 : 0;
  eraseUnitA_ = u16At(*reply, 8);
  eraseUnitB_ = u16At(*reply, 10);
  return true;
}

bool QUBRIXTool::disconnect() { return command(cmd::kDisconnect, FrameWriter(cmd::kDisconnect.id).take()); }

bool QUBRIXTool::eraseTargetFlash(std::uint8_t mode, std::uint32_t address, std::uint16_t count) {
  return command(cmd::kEraseTgtFlash, FrameWriter(cmd::kEraseTgtFlash.id).u8(mode).u32(address).u16(count).take());
}

bool QUBRIXTool::writeCache(std::uint32_t offset, std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kCachePiece) throw CommandException(kStatusOutOfRange);
  const auto length = static_cast<std::uint8_t>(bytes.size());
  const auto reply =
      exchange(cmd::kWriteCache, FrameWriter(cmd::kWriteCache.id).u32(offset).u8(length).data(bytes).take());
  return reply && u8At(*reply, 2) == length;
}

bool QUBRIXTool::writeTargetFlash(std::uint32_t address, std::uint16_t length) {
  return command(cmd::kWriteTgtFlash, FrameWriter(cmd::kWriteTgtFlash.id).u32(address).u32(0).u16(length).take());
}

bool QUBRIXTool::verifyTargetFlash(std::uint32_t address, std::span<const std::uint8_t> bytes) {
  if (bytes.size() > kCachePiece) throw CommandException(kStatusOutOfRange);
  return command(cmd::kVerifyTgtFlash, FrameWriter(cmd::kVerifyTgtFlash.id)
                    .u32(address)
                    .u8(static_cast<std::uint8_t>(bytes.size()))
                    .data(bytes)
                    .take());
}

bool QUBRIXTool::writeCacheRange(std::span<const std::uint8_t> bytes) {
  for (std::size_t at = 0; at < bytes.size(); at += kCachePiece) {
    if (!writeCache(static_cast<std::uint32_t>(at), bytes.subspan(at, std::min(kCachePiece, bytes.size() - at)))) {
      return false;
    }
  }
  return true;
}

bool QUBRIXTool::verifyRange(std::uint32_t address, std::span<const std::uint8_t> bytes) {
  for (std::size_t at = 0; at < bytes.size(); at += kCachePiece) {
    if (!verifyTargetFlash(address + static_cast<std::uint32_t>(at),
                           bytes.subspan(at, std::min(kCachePiece, bytes.size() - at)))) {
      if (!firstDifference_) firstDifference_ = address + static_cast<std::uint32_t>(at);
      return false;
    }
  }
  return true;
}

bool QUBRIXTool::screenClear() {
  return command(cmd::kScreenStatus, FrameWriter(cmd::kScreenStatus.id).u8(cmd::kScreenClear).take());
}

bool QUBRIXTool::screenChecksum(std::uint32_t value) {
  return command(cmd::kScreenStatus, FrameWriter(cmd::kScreenStatus.id).u8(cmd::kScreenChecksum).u32(value).take());
}

bool QUBRIXTool::screenState(std::uint8_t state) {
  return command(cmd::kScreenStatus, FrameWriter(cmd::kScreenStatus.id).u8(cmd::kScreenState).u8(state).take());
}

bool QUBRIXTool::screenProgress(std::uint8_t percent) {
  return command(cmd::kScreenStatus, FrameWriter(cmd::kScreenStatus.id).u8(cmd::kScreenProgress).u8(percent).take());
}

bool QUBRIXTool::writeEvent(std::uint8_t event) {
  return command(cmd::kWriteEvent, FrameWriter(cmd::kWriteEvent.id).u8(event).take());
}

std::vector<std::shared_ptr<QUBRIXTool>> enumerateTools() {
  std::vector<std::shared_ptr<QUBRIXTool>> tools;
  for (auto& device : enumerateDevices()) tools.push_back(std::make_shared<QUBRIXTool>(std::move(device)));
  return tools;
}

std::shared_ptr<QUBRIXTool> firstTool() {
  auto tools = enumerateTools();
  return tools.empty() ? nullptr : tools.front();
}

std::shared_ptr<QUBRIXTool> toolWithSerial(const std::string& serial) {
  if (serial.empty()) return firstTool();
  for (auto& tool : enumerateTools()) {
    if (toolSerialNumber(tool) == serial) return tool;
  }
  return nullptr;
}

}  // namespace qx
