#pragma once
// Devices for the serial terminal: one that answers every byte with itself, and one that talks by
// itself, sending a counting pattern (0x00, 0x01, ... 0xFF, 0x00, ...) at a chosen byte rate, so
// that a receiver can check that no byte was lost or reordered. Both follow the rate the host's
// end is set to, as a device configured for it would.
#include <cstdint>

#include "emulator/serial/device.hpp"

namespace emulator::serial {

class EchoDevice final : public SerialDevice {
 public:
  std::uint32_t initialRate() const override { return 115200; }
  void onByte(std::uint8_t byte, Wire& wire) override;
  void onReset(Wire& wire) override;
  const char* productName() const override { return "QUBRIX emulated echo"; }
};

class StreamDevice final : public SerialDevice {
 public:
  // `bytesPerSecond` 0: as fast as the line goes.
  explicit StreamDevice(std::uint32_t bytesPerSecond) : bytesPerSecond_(bytesPerSecond) {}
  std::uint32_t initialRate() const override { return 115200; }
  void onByte(std::uint8_t, Wire&) override {}
  void onReset(Wire& wire) override;
  void onSendQueueEmpty(Wire& wire) override;
  const char* productName() const override { return "QUBRIX emulated stream"; }
  // Bytes queued so far; the next one sent is this count modulo 256.
  std::uint64_t sent() const { return sent_; }

 private:
  std::uint32_t bytesPerSecond_;
  std::uint64_t sent_ = 0;
};

}  // namespace emulator::serial
