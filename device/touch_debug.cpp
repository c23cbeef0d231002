#include "device/touch_debug.hpp"

#include "device/commands.hpp"
#include "device/enumerate.hpp"
#include "device/exceptions.hpp"
#include "device/frame.hpp"

namespace qx {

TouchDebug::TouchDebug(std::shared_ptr<Interface> transport) : QUBRIXToolBase(std::move(transport)) {}

std::optional<Bytes> TouchDebug::soft(const CommandSpec& spec) {
  return exchange(spec, FrameWriter(spec.id).take());
}

bool TouchDebug::tdConnect(std::uint8_t& info) {
  const auto reply = exchange(cmd::kTdConnect, FrameWriter(cmd::kTdConnect.id).take());
  if (!reply) return false;
  info = u8At(*reply, 2);
  return true;
}

bool TouchDebug::tdDisconnect() { return soft(cmd::kTdDisconnect).has_value(); }

bool TouchDebug::tdGetState(std::uint8_t& state) {
  const auto reply = soft(cmd::kTdGetState);
  if (!reply) return false;
  state = u8At(*reply, 2);
  return true;
}

bool TouchDebug::tdGetChannelCount(std::uint8_t& count) {
  const auto reply = soft(cmd::kTdGetChannelCount);
  if (!reply) return false;
  count = u8At(*reply, 2);
  return true;
}

bool TouchDebug::tdGetRefChData(std::uint16_t& reference, std::uint16_t& current) {
  const auto reply = soft(cmd::kTdGetRefChData);
  if (!reply) return false;
  reference = u16At(*reply, 2);
  current = u16At(*reply, 4);
  return true;
}

bool TouchDebug::tdGetKeysFlagSN(std::uint64_t& flags) {
  const auto reply = soft(cmd::kTdGetKeysFlagSN);
  if (!reply) return false;
  flags = u64At(*reply, 2);
  return true;
}

bool TouchDebug::batched(const CommandSpec& spec, std::uint8_t count, std::span<std::uint16_t> destination) {
  for (std::size_t start = 0; start < count;) {
    const std::size_t n = std::min<std::size_t>(count - start, kTouchBatch);
    const auto reply =
        exchange(spec, FrameWriter(spec.id).u8(static_cast<std::uint8_t>(start)).u8(static_cast<std::uint8_t>(n)).take());
    if (!reply) return false;
    // A declared count beyond the frame is cut at the frame's end.
    const std::size_t m = std::min<std::size_t>(u8At(*reply, 2), bytesFrom(*reply, 3) / 2);
    for (std::size_t i = 0; i < m && start + i < destination.size(); ++i) destination[start + i] = u16At(*reply, 3 + 2 * i);
    start += n;
  }
  return true;
}

bool TouchDebug::tdGetBaselineData(std::uint8_t count, std::span<std::uint16_t> destination) {
  return batched(cmd::kTdGetBaselineData, count, destination);
}

bool TouchDebug::tdGetRawData(std::uint8_t count, std::span<std::uint16_t> destination) {
  return batched(cmd::kTdGetRawData, count, destination);
}

bool TouchDebug::tdGetThresholdData(std::uint8_t count, std::span<std::uint16_t> destination) {
  return batched(cmd::kTdGetThresholdData, count, destination);
}

bool TouchDebug::tdSetThresholdData(std::span<const std::uint16_t> values) {
  if (values.size() > kTouchBatch) throw CommandException(kStatusOutOfRange);
  FrameWriter frame(cmd::kTdSetThresholdData.id);
  frame.u8(0).u8(static_cast<std::uint8_t>(values.size()));
  for (std::uint16_t v : values) frame.u16(v);
  return command(cmd::kTdSetThresholdData, frame.take());
}

bool TouchDebug::tdGetChannelNumber(std::uint8_t count, std::span<std::uint8_t> destination) {
  const auto reply = exchange(cmd::kTdGetChannelNumber, FrameWriter(cmd::kTdGetChannelNumber.id).u8(count).take());
  if (!reply) return false;
  const std::size_t m = std::min<std::size_t>(u8At(*reply, 2), bytesFrom(*reply, 3));
  for (std::size_t i = 0; i < m && i < destination.size(); ++i) destination[i] = (*reply)[3 + i];
  return true;
}

std::vector<std::shared_ptr<TouchDebug>> enumerateTouchDebug() {
  std::vector<std::shared_ptr<TouchDebug>> handles;
  for (auto& device : enumerateDevices()) handles.push_back(std::make_shared<TouchDebug>(std::move(device)));
  return handles;
}

std::shared_ptr<TouchDebug> firstTouchDebug() {
  auto handles = enumerateTouchDebug();
  return handles.empty() ? nullptr : handles.front();
}

}  // namespace qx
