#pragma once
// Faults of the line on the reply to one chosen request, whatever the device: noise in front of
// it, its checksum spoilt, lost after the device acted, an acknowledgement sent twice, or one held
// back past the host's longest wait. Requests are counted from 1 once the device has answered the
// synchronisation; the synchronisation frames themselves are not counted.
#include <cstddef>
#include <memory>
#include <optional>

#include "emulator/serial/device.hpp"

namespace emulator::serial {

struct ReplyFaults {
  std::optional<std::size_t> noiseAt;
  std::optional<std::size_t> badChecksumAt;
  std::optional<std::size_t> droppedAt;  // every byte of the reply, reports included
  std::optional<std::size_t> duplicatedAt;
  std::optional<std::size_t> lateAt;

  bool any() const { return noiseAt || badChecksumAt || droppedAt || duplicatedAt || lateAt; }
};

// Wraps a device and bends its replies as the faults say.
class FaultyReplies final : public SerialDevice {
 public:
  // Longer than any wait of the host before it sends again (the 32-bit blocks' 1 s).
  static constexpr Micros kLateBy{1500000};

  FaultyReplies(std::unique_ptr<SerialDevice> device, ReplyFaults faults);

  std::uint32_t initialRate() const override { return device_->initialRate(); }
  void onByte(std::uint8_t byte, Wire& wire) override;
  void onReset(Wire& wire) override;
  const char* productName() const override { return device_->productName(); }
  void onSendQueueEmpty(Wire& wire) override;
  bool logsWhatItSends() const override { return device_->logsWhatItSends(); }

  SerialDevice& device() { return *device_; }

 private:
  class Tap;
  void onRequest(isp::Bytes frame);
  void send(isp::Bytes bytes, Wire& wire);

  std::unique_ptr<SerialDevice> device_;
  ReplyFaults faults_;
  std::size_t requests_ = 0;
  std::size_t replyingTo_ = 0;  // the request whose reply goes out now; 0: a synchronisation
  bool firstOfReply_ = false;
};

}  // namespace emulator::serial
