#include "touch/loop_port_sink.hpp"

namespace touch {

void LoopPortSink::onSerialByte(std::uint8_t byte) {
  std::lock_guard lock(mutex_);
  const bool first = pending_.empty();
  pending_.push_back(byte);
  if (first) loop_.post([this] { drain(); });
}

void LoopPortSink::onSerialMessage(const isp::SerialMessage& m) {
  loop_.post([this, m] { reporter_.onMessage(m.caption, m.text, m.errorIcon ? base::MessageIcon::Error : base::MessageIcon::Warning); });
}

void LoopPortSink::onSerialErrorChanged(bool error) {
  if (!error) return;
  loop_.post([this] {
    if (transport_ != nullptr) transport_->onPortError();
  });
}

void LoopPortSink::drain() {
  std::vector<std::uint8_t> bytes;
  {
    std::lock_guard lock(mutex_);
    bytes.swap(pending_);
  }
  for (std::uint8_t b : bytes) {
    if (transport_ != nullptr) transport_->onByte(b);
  }
}

}  // namespace touch
