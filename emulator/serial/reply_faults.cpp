#include "emulator/serial/reply_faults.hpp"

#include <algorithm>
#include <utility>

namespace emulator::serial {

// The wire as the wrapped device sees it: its requests are counted and its replies bent.
class FaultyReplies::Tap final : public Wire {
 public:
  Tap(FaultyReplies& owner, Wire& wire) : owner_(owner), wire_(wire) {}
  void send(isp::Bytes bytes) override { owner_.send(bytes, wire_); }
  void busy(Micros duration) override { wire_.busy(duration); }
  void setRate(std::uint32_t baud) override { wire_.setRate(baud); }
  std::uint32_t rate() const override { return wire_.rate(); }
  void setAutobaud(bool on) override { wire_.setAutobaud(on); }
  std::uint32_t hostRate() const override { return wire_.hostRate(); }
  void discardQueued() override { wire_.discardQueued(); }
  void noteRequest(isp::Bytes frame) override {
    wire_.noteRequest(frame);
    owner_.onRequest(frame);
  }
  void unplug() override { wire_.unplug(); }
  void noteTargetPower(bool on) override { wire_.noteTargetPower(on); }

 private:
  FaultyReplies& owner_;
  Wire& wire_;
};

FaultyReplies::FaultyReplies(std::unique_ptr<SerialDevice> device, ReplyFaults faults)
    : device_(std::move(device)), faults_(faults) {}

void FaultyReplies::onByte(std::uint8_t byte, Wire& wire) {
  Tap tap(*this, wire);
  device_->onByte(byte, tap);
}

void FaultyReplies::onReset(Wire& wire) {
  Tap tap(*this, wire);
  device_->onReset(tap);
}

void FaultyReplies::onSendQueueEmpty(Wire& wire) {
  Tap tap(*this, wire);
  device_->onSendQueueEmpty(tap);
}

void FaultyReplies::onRequest(isp::Bytes frame) {
  const auto is = [&](const isp::Frame& sync) { return std::ranges::equal(frame, sync); };
  const bool sync = is(isp::syncBytes(isp::Dialect::Short)) || is(isp::longSyncFrame());
  replyingTo_ = sync ? 0 : ++requests_;
  firstOfReply_ = true;
}

void FaultyReplies::send(isp::Bytes bytes, Wire& wire) {
  const std::size_t n = replyingTo_;
  const bool first = std::exchange(firstOfReply_, false);
  if (n != 0 && faults_.droppedAt == n) return;
  if (n == 0 || !first) {
    wire.send(bytes);
    return;
  }
  if (faults_.lateAt == n) wire.busy(kLateBy);
  if (faults_.noiseAt == n) wire.send(kNoise);
  isp::Frame reply(bytes.begin(), bytes.end());
  if (faults_.badChecksumAt == n && !reply.empty()) reply.back() ^= 0x01;
  wire.send(reply);
  if (faults_.duplicatedAt == n) wire.send(reply);
}

}  // namespace emulator::serial
