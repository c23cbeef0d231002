#include "emulator/serial/chip_bootloader.hpp"

#include <algorithm>
#include <utility>

#include "isp/loaders/loaders.hpp"
#include "isp/replies.hpp"

namespace emulator::serial {
namespace {

constexpr std::size_t kPage = 1024;
constexpr std::size_t kBlock = isp::kShortBlockSize;

// Refusals of this bootloader; 0 is success.
constexpr std::uint8_t kRefused = 0x01;
constexpr std::uint8_t kOutOfRange = 0x02;
constexpr std::uint8_t kNoLoader = 0x03;

}  // namespace

ChipBootloader::ChipBootloader(ChipConfig config, ChipFaults faults)
    : config_(config), faults_(faults), flash_(config.flashSize, kPage) {
  xdata_.assign(std::max<std::size_t>(isp::loaders::loaderFor(config_.familyType).size(), 1024), 0x00);
}

const char* ChipBootloader::productName() const {
  switch (config_.familyType) {
    case firmware::kFamilyK7A0: return "QUBRIX emulated bootloader K7A0";
    case firmware::kFamilyK7A1: return "QUBRIX emulated bootloader K7A1";
    case firmware::kFamilyT4N0: return "QUBRIX emulated bootloader T4N0";
    case firmware::kFamilyT4N1: return "QUBRIX emulated bootloader T4N1";
    case firmware::kFamilyT4N2: return "QUBRIX emulated bootloader T4N2";
    default: return "QUBRIX emulated bootloader T4N3";
  }
}

bool ChipBootloader::loaderAccepted() const {
  const auto loader = isp::loaders::loaderFor(config_.familyType);
  return !loader.empty() && std::equal(loader.begin(), loader.end(), xdata_.begin());
}

void ChipBootloader::onReset(Wire& wire) {
  synchronised_ = false;
  rx_.clear();
  wire.setAutobaud(true);
}

void ChipBootloader::onByte(std::uint8_t byte, Wire& wire) {
  const auto result = rx_.push(byte);
  if (result == isp::RequestReceiver::Result::Sync) {
    wire.noteRequest(rx_.frame());
    if (!synchronised_ || faults_.answerEverySync) onSync(wire);
    return;
  }
  if (result != isp::RequestReceiver::Result::Request || !synchronised_) return;
  wire.noteRequest(rx_.frame());
  ++requests_;
  if (faults_.strayByteBeforeReply && requests_ == *faults_.strayByteBeforeReply) {
    reply(isp::Frame{kNoise[1]}, wire);
  }
  onRequest(wire);
  if (faults_.unplugAfterRequests && requests_ >= *faults_.unplugAfterRequests) wire.unplug();
}

void ChipBootloader::onSync(Wire& wire) {
  synchronised_ = true;
  wire.setAutobaud(false);
  if (faults_.noiseBeforeSync > 0) {
    isp::Frame noise;
    for (std::size_t i = 0; i < faults_.noiseBeforeSync; ++i) noise.push_back(kNoise[i % std::size(kNoise)]);
    reply(noise, wire);
  }
  reply(isp::syncAnswerReply(config_.syncByte, config_.syncWithHeader), wire);
}

void ChipBootloader::onRequest(Wire& wire) {
  const isp::Bytes data = rx_.data();
  switch (rx_.command()) {
    case isp::kCmdSetBaud: {
      const std::uint8_t asked = data.empty() ? 0 : data[0];
      const std::uint8_t code = asked == 0 ? config_.preferredBaudCode : asked;
      const auto rate = isp::baudForCode(code);
      if (faults_.refuseBaud || !rate || code > config_.maxBaudCode) {
        reply(isp::baudAnswerReply(kRefused, asked), wire);
        return;
      }
      reply(isp::baudAnswerReply(0, code), wire);
      wire.setRate(*rate);
      return;
    }
    case isp::kCmdConfirmBaud: {
      isp::Frame pattern = isp::lineTestPattern();
      if (faults_.lineTestWrongByte && *faults_.lineTestWrongByte < pattern.size()) {
        pattern[*faults_.lineTestWrongByte] ^= 0x20;
      }
      reply(pattern, wire);
      return;
    }
    case isp::kCmdProgramStart: {
      const std::size_t base = isp::wideFields(config_.familyType) ? 19 : 17;
      const bool layoutOk = data.size() == base || data.size() == base + 29;
      const std::uint16_t model = data.size() >= 2 ? static_cast<std::uint16_t>(data[0] << 8 | data[1]) : 0;
      ack(layoutOk && model == config_.modelId && !faults_.modelMismatch ? 0 : kRefused, wire);
      return;
    }
    case isp::kCmdErase: onErase(data, wire); return;
    case isp::kCmdWriteBlock: onWriteBlock(data, wire); return;
    case isp::kCmdRead: onRead(data, wire); return;
    case isp::kCmdEnableRead: ack(0, wire); return;
    case isp::kCmdErasePage: {
      if (data.size() != 4 || data[0] != isp::kAreaFlash || std::exchange(faults_.nak.erasePage, false)) {
        ack(kRefused, wire);
        return;
      }
      const std::size_t address = isp::getBigEndian(data.subspan(1, 3));
      wire.busy(config_.erasePageTime);
      ack(flash_.erase(address, kPage) ? 0 : kOutOfRange, wire);
      return;
    }
    case isp::kCmdRun:
      if (std::exchange(faults_.nak.run, false)) {
        ack(kRefused, wire);
        return;
      }
      // The loader in XDATA sums the flash and reports.
      if (config_.familyType != firmware::kFamilyK7A1 && !loaderAccepted()) {
        ack(kNoLoader, wire);
        return;
      }
      reply(isp::ackReply(0, 0), wire);
      reportChecksum(flash_.size(), wire);
      return;
    case isp::kCmdEnd: endSession(wire); return;
    default: return;
  }
}

void ChipBootloader::onErase(isp::Bytes data, Wire& wire) {
  if (data.empty()) return;
  if (std::exchange(faults_.nak.erase, false)) {
    ack(kRefused, wire);
    return;
  }
  switch (data[0]) {
    case isp::kAreaXdata:
      std::fill(xdata_.begin(), xdata_.end(), 0x00);
      ack(0, wire);
      return;
    case isp::kAreaIfb: ack(0, wire); return;
    case isp::kAreaFlash: {
      if (data.size() != 5 || data[1] != 0x45) {
        ack(kRefused, wire);
        return;
      }
      if (config_.familyType != firmware::kFamilyK7A1 && !loaderAccepted()) {
        ack(kNoLoader, wire);
        return;
      }
      // W = 1 erases the whole chip, W = 0 the program area; N only announces the blocks that
      // follow. The checksum the engine compares covers the whole area, so a shorter image written
      // after a longer one must not find the old tail still there.
      if (data[2] == 1) {
        wire.busy(config_.eraseChipTime);
      } else {
        wire.busy(config_.erasePageTime * static_cast<long>(flash_.size() / kPage));
      }
      flash_.eraseAll();
      ack(0, wire);
      return;
    }
    default: ack(kRefused, wire); return;
  }
}

void ChipBootloader::onWriteBlock(isp::Bytes data, Wire& wire) {
  const std::size_t addressBytes = isp::wideFields(config_.familyType) ? 4 : 3;
  if (data.size() != 1 + addressBytes + 1 + kBlock || data[1 + addressBytes] != 0x80) {
    ack(kRefused, wire);
    return;
  }
  const std::size_t address = isp::getBigEndian(data.subspan(1, addressBytes));
  const isp::Bytes block = data.subspan(2 + addressBytes, kBlock);
  if (data[0] == isp::kAreaXdata) {
    if (faults_.nak.loaderBlock && address / kBlock == *faults_.nak.loaderBlock) {
      faults_.nak.loaderBlock.reset();
      ack(kRefused, wire);
      return;
    }
    if (address + kBlock > xdata_.size()) {
      ack(kOutOfRange, wire);
      return;
    }
    std::copy(block.begin(), block.end(), xdata_.begin() + static_cast<std::ptrdiff_t>(address));
    ack(0, wire);
    return;
  }
  if (data[0] != isp::kAreaFlash) {
    ack(kRefused, wire);
    return;
  }
  if (faults_.nakBlock && address / kBlock == *faults_.nakBlock && !nakDone_) {
    nakDone_ = true;
    ack(kRefused, wire);
    return;
  }
  wire.busy(config_.blockWriteTime);
  if (address + kBlock > flash_.size()) {
    ack(kOutOfRange, wire);
    return;
  }
  ack(flash_.program(address, block) ? 0 : kRefused, wire);
}

void ChipBootloader::onRead(isp::Bytes data, Wire& wire) {
  if (data.size() != 5) return;
  if (data[0] == 0x43) {
    // ChecksumRequest: the byte sum over K KiB.
    if (config_.familyType != firmware::kFamilyK7A1 && !loaderAccepted()) {
      ack(kNoLoader, wire);
      return;
    }
    reportChecksum(std::size_t{data[4]} * 1024, wire);
    return;
  }
  const std::size_t address = isp::getBigEndian(data.subspan(1, 3));
  if (data[0] != isp::kAreaFlash || address + kBlock > flash_.size()) {
    ack(kOutOfRange, wire);
    return;
  }
  reply(isp::readDataReply(data[0], flash_.bytes().subspan(address, kBlock)), wire);
}

void ChipBootloader::reportChecksum(std::size_t length, Wire& wire) {
  wire.busy(config_.checksumTimePerKib * static_cast<long>(length / 1024));
  reply(isp::checksumReportReply(static_cast<std::uint16_t>(flash_.sum(0, length))), wire);
}

void ChipBootloader::endSession(Wire& wire) {
  if (faults_.corruptAfterProgramming) {
    flash_.flip(*faults_.corruptAfterProgramming);
    faults_.corruptAfterProgramming.reset();
  }
  // The chip starts its application; the next session begins with synchronisation again.
  onReset(wire);
}

void ChipBootloader::reply(const isp::Frame& frame, Wire& wire) {
  const bool muted = faults_.muteAfterRequests && requests_ > *faults_.muteAfterRequests;
  if (!faults_.silent && !muted) wire.send(frame);
}

void ChipBootloader::ack(std::uint8_t status, Wire& wire) { reply(isp::ackReply(status), wire); }

}  // namespace emulator::serial
