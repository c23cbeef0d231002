#include "emulator/serial/chip32_bootloader.hpp"

#include <utility>

#include "isp/replies.hpp"

namespace emulator::serial {
namespace {

constexpr std::uint8_t kRefused = 0x01;
constexpr std::size_t kBlock = isp::kLongBlockSize;
constexpr std::size_t kSector = 4096;

}  // namespace

Chip32Bootloader::Chip32Bootloader(Chip32Config config, Chip32Faults faults)
    : config_(std::move(config)), faults_(faults), flash_(config_.flashSize, kSector) {}

void Chip32Bootloader::onReset(Wire& wire) {
  synchronised_ = false;
  released_ = false;
  rx_.clear();
  wire.setAutobaud(false);
  wire.setRate(kRate);
}

void Chip32Bootloader::onByte(std::uint8_t byte, Wire& wire) {
  if (rx_.push(byte) != isp::RequestReceiver::Result::Request) return;
  wire.noteRequest(rx_.frame());
  ++requests_;
  onRequest(wire);
  if (faults_.unplugAfterRequests && requests_ >= *faults_.unplugAfterRequests) wire.unplug();
}

void Chip32Bootloader::onRequest(Wire& wire) {
  const isp::Bytes data = rx_.data();
  const std::uint8_t cmd = rx_.command();
  if (cmd == isp::kCmdLongSync) {
    if (faults_.noiseBeforeSync > 0) {
      isp::Frame noise;
      for (std::size_t i = 0; i < faults_.noiseBeforeSync; ++i) noise.push_back(kNoise[i % std::size(kNoise)]);
      reply(noise, wire);
    }
    synchronised_ = syncStatus_ == 0;
    released_ = false;
    reply(isp::longAckReply(syncStatus_), wire);
    return;
  }
  if (!synchronised_) return;
  switch (cmd) {
    case isp::kCmdLongIdentify: {
      std::string name = config_.name;
      name.resize(11, ' ');
      reply(isp::longIdentificationReply(config_.modelId, name), wire);
      return;
    }
    case isp::kCmdLongEraseApplication:
      if (std::exchange(faults_.nak.erase, false)) {
        reply(isp::longAckReply(kRefused), wire);
        return;
      }
      wire.busy(config_.eraseTime);
      flash_.erase(kBootArea, flash_.size() - kBootArea);
      reply(isp::longAckReply(0), wire);
      return;
    case isp::kCmdLongWriteBlock: {
      if (data.size() != 5 + kBlock || isp::getBigEndian(data.subspan(3, 2)) != kBlock) {
        reply(isp::longAckReply(kRefused), wire);
        return;
      }
      const std::size_t address = isp::getBigEndian(data.subspan(0, 3));
      if (faults_.nakBlock && address / kBlock == *faults_.nakBlock && !nakDone_) {
        nakDone_ = true;
        reply(isp::longAckReply(kRefused), wire);
        return;
      }
      wire.busy(config_.blockWriteTime);
      // The boot area is not the host's to write.
      const bool ok = address >= kBootArea && flash_.program(address, data.subspan(5, kBlock));
      reply(isp::longAckReply(ok ? 0 : kRefused), wire);
      return;
    }
    case isp::kCmdLongVerifyRange: {
      if (data.size() != 6) return;
      if (faults_.corruptAfterProgramming) {
        flash_.flip(*faults_.corruptAfterProgramming);
        faults_.corruptAfterProgramming.reset();
      }
      // The second number is where the range ends; the sum is this bootloader's image checksum:
      // the byte sum plus twice the length plus one.
      const std::size_t start = isp::getBigEndian(data.subspan(0, 3));
      const std::size_t end = std::min<std::size_t>(isp::getBigEndian(data.subspan(3, 3)), flash_.size());
      const std::size_t length = end > start ? end - start : 0;
      wire.busy(config_.checksumTimePerKib * static_cast<long>(length / 1024));
      const std::uint32_t sum = flash_.sum(start, length) + 2 * static_cast<std::uint32_t>(length) + 1;
      std::array<std::uint8_t, 6> range{};
      std::copy(data.begin(), data.end(), range.begin());
      reply(isp::longChecksumReply(range, sum), wire);
      return;
    }
    case isp::kCmdLongReadBlock: {
      const std::size_t address = data.size() == 5 ? isp::getBigEndian(data.subspan(0, 3)) : flash_.size();
      if (address + kBlock > flash_.size()) {
        reply(isp::longAckReply(kRefused), wire);
        return;
      }
      reply(isp::longReadDataReply(static_cast<std::uint32_t>(address), flash_.bytes().subspan(address, kBlock)), wire);
      return;
    }
    case isp::kCmdLongRelease:
      reply(isp::longAckReply(0), wire);
      released_ = true;
      return;
    default: return;
  }
}

void Chip32Bootloader::reply(const isp::Frame& frame, Wire& wire) {
  if (!faults_.silent) wire.send(frame);
}

}  // namespace emulator::serial
