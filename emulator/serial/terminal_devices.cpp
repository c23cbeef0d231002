#include "emulator/serial/terminal_devices.hpp"

#include <algorithm>
#include <vector>

namespace emulator::serial {
namespace {

// The pattern goes out in pieces of this much line time, small enough that a change of the host's
// rate garbles little of it.
constexpr std::uint64_t kPieceMicros = 5000;

}  // namespace

void EchoDevice::onByte(std::uint8_t byte, Wire& wire) { wire.send(std::vector<std::uint8_t>{byte}); }

void EchoDevice::onReset(Wire& wire) { wire.setAutobaud(true); }

void StreamDevice::onReset(Wire& wire) { wire.setAutobaud(true); }

void StreamDevice::onSendQueueEmpty(Wire& wire) {
  if (wire.hostRate() != 0) wire.setRate(wire.hostRate());
  const std::uint64_t lineRate = std::max<std::uint64_t>(1, wire.rate() / 10);
  const std::uint64_t rate = bytesPerSecond_ == 0 ? lineRate : std::min<std::uint64_t>(bytesPerSecond_, lineRate);
  const std::uint64_t count = std::max<std::uint64_t>(1, rate * kPieceMicros / 1'000'000);
  std::vector<std::uint8_t> piece(count);
  for (auto& b : piece) b = static_cast<std::uint8_t>(sent_++);
  wire.send(piece);
  // The piece's share of a second at the chosen rate, counted from its start.
  wire.busy(Micros{static_cast<long long>(count * 1'000'000 / rate)});
}

}  // namespace emulator::serial
