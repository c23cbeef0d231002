#pragma once
// The handle for touch debugging: the programmer relays a touch target's per-channel values.
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "device/tool_base.hpp"

namespace qx {

// Values per batched read: 3 header bytes and 60 data bytes fill the reply.
inline constexpr std::size_t kTouchBatch = 30;

class TouchDebug : public QUBRIXToolBase {
 public:
  explicit TouchDebug(std::shared_ptr<Interface> transport);

  // `info` gets the reply's byte 2.
  bool tdConnect(std::uint8_t& info);
  bool tdDisconnect();
  // 1 when the target's touch data are ready.
  bool tdGetState(std::uint8_t& state);
  bool tdGetChannelCount(std::uint8_t& count);
  bool tdGetRefChData(std::uint16_t& reference, std::uint16_t& current);
  bool tdGetKeysFlagSN(std::uint64_t& flags);

  // `count` values in batches of 30 into `destination`, never past its end.
  bool tdGetBaselineData(std::uint8_t count, std::span<std::uint16_t> destination);
  bool tdGetRawData(std::uint8_t count, std::span<std::uint16_t> destination);
  bool tdGetThresholdData(std::uint8_t count, std::span<std::uint16_t> destination);
  // Thresholds from channel 0; more than 30 values raise code 11 before sending.
  bool tdSetThresholdData(std::span<const std::uint16_t> values);
  bool tdGetChannelNumber(std::uint8_t count, std::span<std::uint8_t> destination);

 private:
  bool batched(const CommandSpec& spec, std::uint8_t count, std::span<std::uint16_t> destination);
  std::optional<Bytes> soft(const CommandSpec& spec);
};

std::vector<std::shared_ptr<TouchDebug>> enumerateTouchDebug();
std::shared_ptr<TouchDebug> firstTouchDebug();

}  // namespace qx
