#include "device/tool_base.hpp"

#include <utility>

#include "device/exchange.hpp"
#include "device/frame.hpp"

namespace qx {
namespace {

constexpr int kVersionTypeVendor = 3;

}  // namespace

QUBRIXToolBase::QUBRIXToolBase(std::shared_ptr<Interface> link) : link_(std::move(link)) {}

std::optional<Bytes> QUBRIXToolBase::exchange(const CommandSpec& spec, const Bytes& request) {
  return qx::exchange(link_.get(), spec, request);
}

void QUBRIXToolBase::closeLink() {
  if (link_ != nullptr) link_->close();
}

int QUBRIXToolBase::getVersionType(std::string& vendor) {
  const auto reply = exchange(cmd::kInfo, FrameWriter(cmd::kInfo.id).u8(cmd::kInfoVersionType).take());
  if (!reply) return 0;
  const int type = u8At(*reply, 2);
  if (type == kVersionTypeVendor) vendor = textAt(*reply, 4, u8At(*reply, 3));
  return type;
}

bool QUBRIXToolBase::setTargetPower(bool on) {
  const std::uint8_t sub = on ? cmd::kPowerOn : cmd::kPowerOff;
  return command(cmd::kTargetPowerSwitch, FrameWriter(cmd::kTargetPowerSwitch.id).u8(sub).take());
}

bool QUBRIXToolBase::isTargetPowered() {
  const auto reply = exchange(cmd::kTargetPowerQuery, FrameWriter(cmd::kTargetPowerQuery.id).u8(cmd::kPowerQuery).take());
  return reply && u8At(*reply, 1) == 1;
}

float QUBRIXToolBase::targetVoltage() {
  const auto reply =
      exchange(cmd::kTargetPowerQuery, FrameWriter(cmd::kTargetPowerQuery.id).u8(cmd::kPowerVoltage).take());
  return reply ? static_cast<float>(u32At(*reply, 1)) / 100.0f : 0.0f;
}

bool QUBRIXToolBase::screenMode(std::uint8_t mode) {
  return command(cmd::kScreenStatus, FrameWriter(cmd::kScreenStatus.id).u8(cmd::kScreenMode).u8(mode).take());
}

std::string toolSerialNumber(const std::shared_ptr<const QUBRIXToolBase>& tool) {
  return tool != nullptr && tool->link() != nullptr ? tool->link()->serialNumber : std::string();
}

std::string toolProduct(const std::shared_ptr<const QUBRIXToolBase>& tool) {
  return tool != nullptr && tool->link() != nullptr ? tool->link()->product : std::string();
}

}  // namespace qx
