#include "ui/main/serial_bridge.hpp"

namespace mainwin {

SerialBridge::SerialBridge(Handlers handlers, QObject* parent) : QObject(parent), handlers_(std::move(handlers)) {}

void SerialBridge::onSerialByte(std::uint8_t byte) {
  bool first = false;
  {
    std::lock_guard lock(mutex_);
    first = pending_.empty();
    pending_.push_back(byte);
  }
  // One queued call per batch: the bytes that come while it waits ride along, in order.
  if (first) QMetaObject::invokeMethod(this, &SerialBridge::drain, Qt::QueuedConnection);
}

void SerialBridge::drain() {
  std::vector<std::uint8_t> bytes;
  {
    std::lock_guard lock(mutex_);
    bytes.swap(pending_);
  }
  for (std::uint8_t b : bytes) {
    if (handlers_.byte) handlers_.byte(b);
  }
}

void SerialBridge::onSerialMessage(const isp::SerialMessage& message) {
  QMetaObject::invokeMethod(
      this, [this, message] { if (handlers_.message) handlers_.message(message); }, Qt::QueuedConnection);
}

void SerialBridge::onSerialErrorChanged(bool error) {
  if (!error) return;
  // Behind the bytes already queued, so that a reply that arrived whole is still taken.
  QMetaObject::invokeMethod(
      this, [this] { if (handlers_.error) handlers_.error(); }, Qt::QueuedConnection);
}

}  // namespace mainwin
