#include "emulator/serial/stm32_bootloader.hpp"

#include <algorithm>

namespace emulator::serial {
namespace {

constexpr std::uint8_t kSync = 0x7F;
constexpr std::uint8_t kGet = 0x00;
constexpr std::uint8_t kGetVersion = 0x01;
constexpr std::uint8_t kGetId = 0x02;
constexpr std::uint8_t kReadMemory = 0x11;
constexpr std::uint8_t kGo = 0x21;
constexpr std::uint8_t kWriteMemory = 0x31;
constexpr std::uint8_t kErase = 0x43;
constexpr std::uint8_t kExtendedErase = 0x44;

std::uint8_t xorOf(const isp::Frame& bytes, std::size_t from, std::size_t to) {
  std::uint8_t x = 0;
  for (std::size_t i = from; i < to; ++i) x ^= bytes[i];
  return x;
}

}  // namespace

Stm32Bootloader::Stm32Bootloader(Stm32Config config, Stm32Faults faults)
    : config_(config), faults_(std::move(faults)), flash_(config_.flashSize, config_.pageSize) {}

void Stm32Bootloader::onReset(Wire& wire) {
  // An idle line changes nothing for the bootloader; a command begun is simply abandoned.
  if (stage_ == Stage::WaitSync || stage_ == Stage::Running) {
    wire.setAutobaud(stage_ == Stage::WaitSync);
    return;
  }
  toCommands();
}

void Stm32Bootloader::toCommands() {
  stage_ = Stage::Command;
  collected_.clear();
}

void Stm32Bootloader::answer(std::initializer_list<std::uint8_t> bytes, Wire& wire) {
  answer(isp::Frame(bytes), wire);
}

void Stm32Bootloader::answer(const isp::Frame& bytes, Wire& wire) {
  if (!faults_.silent) wire.send(bytes);
}

void Stm32Bootloader::note(Wire& wire) { wire.noteRequest(collected_); }

bool Stm32Bootloader::inFlash(std::uint32_t address, std::size_t length) const {
  return address >= kFlashBase && address - kFlashBase < flash_.size() && length <= flash_.size() - (address - kFlashBase);
}

void Stm32Bootloader::onByte(std::uint8_t byte, Wire& wire) {
  ++hostBytes_;
  if (faults_.dropByte && hostBytes_ == *faults_.dropByte) return;
  if (stage_ == Stage::Running) return;
  collected_.push_back(byte);
  switch (stage_) {
    case Stage::WaitSync:
      if (byte != kSync) {
        collected_.clear();
        return;
      }
      note(wire);
      // The rate is fixed by the synchronisation byte; parity and rate stay until a reset.
      wire.setRate(wire.hostRate());
      wire.setAutobaud(false);
      if (faults_.noiseBeforeSync > 0 && !noiseDone_) {
        noiseDone_ = true;
        isp::Frame noise;
        for (std::size_t i = 0; i < faults_.noiseBeforeSync; ++i) noise.push_back(kNoise[i % std::size(kNoise)]);
        answer(noise, wire);
      }
      answer({kAck}, wire);
      toCommands();
      return;
    case Stage::Command:
      if (byte == kSync) {
        note(wire);
        answer({kNack}, wire);
        toCommands();
        return;
      }
      stage_ = Stage::Complement;
      return;
    case Stage::Complement: {
      note(wire);
      const std::uint8_t code = collected_[0];
      toCommands();
      if (static_cast<std::uint8_t>(~code) != byte) {
        answer({kNack}, wire);
        return;
      }
      onCommand(code, wire);
      return;
    }
    case Stage::Address:
      if (collected_.size() == 5) onAddress(wire);
      return;
    case Stage::ReadLength:
      if (collected_.size() == 2) onReadLength(wire);
      return;
    case Stage::WriteData:
      if (collected_.size() >= 2u && collected_.size() == collected_[0] + 3u) onWriteData(wire);
      if (stage_ == Stage::WriteData && faults_.unplugAfterWrites && writes_ + 1 >= *faults_.unplugAfterWrites &&
          collected_.size() == 2) {
        wire.unplug();
      }
      return;
    case Stage::EraseData:
      if (eraseDataComplete()) onEraseData(wire);
      return;
    case Stage::Running: return;
  }
}

void Stm32Bootloader::onCommand(std::uint8_t code, Wire& wire) {
  const bool listedErase = code == config_.eraseCommand;
  const bool known = code == kGet || code == kGetVersion || code == kGetId || code == kReadMemory || code == kGo ||
                     code == kWriteMemory || listedErase;
  if (!known || std::find(faults_.nackCommands.begin(), faults_.nackCommands.end(), code) != faults_.nackCommands.end()) {
    answer({kNack}, wire);
    return;
  }
  command_ = code;
  switch (code) {
    case kGet: {
      const isp::Frame commands{kGet, kGetVersion, kGetId, kReadMemory, kGo, kWriteMemory, config_.eraseCommand};
      isp::Frame reply{kAck, static_cast<std::uint8_t>(commands.size()), config_.version};
      reply.insert(reply.end(), commands.begin(), commands.end());
      reply.push_back(kAck);
      answer(reply, wire);
      return;
    }
    case kGetVersion: answer({kAck, config_.version, 0x00, 0x00, kAck}, wire); return;
    case kGetId:
      answer({kAck, 0x01, static_cast<std::uint8_t>(config_.productId >> 8), static_cast<std::uint8_t>(config_.productId),
              kAck},
             wire);
      return;
    case kReadMemory:
    case kGo:
    case kWriteMemory:
      answer({kAck}, wire);
      stage_ = Stage::Address;
      return;
    default:
      answer({kAck}, wire);
      stage_ = Stage::EraseData;
      return;
  }
}

void Stm32Bootloader::onAddress(Wire& wire) {
  note(wire);
  const std::uint32_t address = (static_cast<std::uint32_t>(collected_[0]) << 24) | (collected_[1] << 16) |
                                (collected_[2] << 8) | collected_[3];
  const bool valid = xorOf(collected_, 0, 4) == collected_[4] && inFlash(address, 1);
  toCommands();
  if (!valid) {
    answer({kNack}, wire);
    return;
  }
  address_ = address;
  answer({kAck}, wire);
  if (command_ == kGo) {
    goAddress_ = address;
    stage_ = Stage::Running;
    return;
  }
  stage_ = command_ == kReadMemory ? Stage::ReadLength : Stage::WriteData;
}

void Stm32Bootloader::onReadLength(Wire& wire) {
  note(wire);
  const std::size_t length = collected_[0] + 1u;
  const bool valid = static_cast<std::uint8_t>(~collected_[0]) == collected_[1] && inFlash(address_, length);
  toCommands();
  if (!valid) {
    answer({kNack}, wire);
    return;
  }
  isp::Frame reply{kAck};
  const auto from = flash_.bytes().begin() + static_cast<std::ptrdiff_t>(address_ - kFlashBase);
  reply.insert(reply.end(), from, from + static_cast<std::ptrdiff_t>(length));
  answer(reply, wire);
}

void Stm32Bootloader::onWriteData(Wire& wire) {
  note(wire);
  ++writes_;
  const std::size_t length = collected_[0] + 1u;
  const bool checksum = xorOf(collected_, 0, length + 1) == collected_[length + 1];
  bool ok = checksum && inFlash(address_, length);
  if (ok) {
    wire.busy(config_.writeTimePerByte * static_cast<long>(length));
    ok = flash_.program(address_ - kFlashBase, isp::Bytes(collected_.data() + 1, length));
  }
  toCommands();
  answer({ok ? kAck : kNack}, wire);
}

bool Stm32Bootloader::eraseDataComplete() const {
  const std::size_t n = collected_.size();
  if (command_ == kErase) return n >= 2 && (collected_[0] == 0xFF ? n == 2 : n == collected_[0] + 3u);
  if (n < 3) return false;
  const unsigned count = (collected_[0] << 8) | collected_[1];
  if (count >= 0xFFF0) return n == 3;
  return n == 2 + 2 * (count + 1u) + 1;
}

void Stm32Bootloader::onEraseData(Wire& wire) {
  note(wire);
  const std::size_t n = collected_.size();
  std::vector<std::size_t> pages;
  bool mass = false;
  bool ok = false;
  if (command_ == kErase) {
    mass = collected_[0] == 0xFF;
    ok = mass ? collected_[1] == 0x00 : xorOf(collected_, 0, n - 1) == collected_[n - 1];
    for (std::size_t i = 1; !mass && i + 1 < n; ++i) pages.push_back(collected_[i]);
  } else {
    const unsigned count = (collected_[0] << 8) | collected_[1];
    ok = xorOf(collected_, 0, n - 1) == collected_[n - 1];
    mass = count == 0xFFFF;
    // Bank erases (0xFFFE, 0xFFFD) need a second bank this flash does not have.
    if (count >= 0xFFF0 && !mass) ok = false;
    for (std::size_t i = 2; !mass && i + 2 < n; i += 2) pages.push_back((collected_[i] << 8) | collected_[i + 1]);
  }
  for (std::size_t page : pages) ok = ok && (page + 1) * config_.pageSize <= flash_.size();
  if (ok && mass) {
    wire.busy(config_.massEraseTime);
    flash_.eraseAll();
  } else if (ok) {
    wire.busy(config_.pageEraseTime * static_cast<long>(pages.size()));
    for (std::size_t page : pages) flash_.erase(page * config_.pageSize, config_.pageSize);
  }
  toCommands();
  answer({ok ? kAck : kNack}, wire);
}

}  // namespace emulator::serial
