// The target chip side of the programmer: connect, erase, the cache, burn and verify.
#include <algorithm>
#include <span>

#include "device/frame.hpp"
#include "emulator/programmer/programmer_model.hpp"
#include "emulator/programmer/status_codes.hpp"
#include "firmware/catalogue.hpp"

namespace emulator::programmer {
namespace {

using namespace status;

using qx::u16At;
using qx::u32At;
using qx::u8At;

constexpr std::size_t kPiece = 58;
// The chip's own sector, used when the connect reply offers no erase unit.
constexpr std::uint32_t kNativeSector = 64;
constexpr std::uint16_t kConnectInfo = 0x0001;
constexpr std::chrono::milliseconds kChipEraseCost{40};
constexpr std::chrono::milliseconds kUnitEraseCost{4};

}  // namespace

std::uint32_t ProgrammerModel::unitFor(int mode) const {
  if (config_.eraseUnits == EraseUnits::None) return kNativeSector;
  const bool offered = (mode == 0 && config_.eraseUnits == EraseUnits::A) || (mode == 1 && config_.eraseUnits == EraseUnits::B);
  return offered ? config_.eraseUnitSize : 0;
}

void ProgrammerModel::connect(const Bytes& req, Bytes& out) {
  if (!config_.targetAttached) {
    out[1] = kCannotConnect;
    return;
  }
  const std::uint32_t word = u32At(req, 1);
  const firmware::McuPtr mcu = firmware::FindByModel(static_cast<std::uint16_t>(word));
  if (mcu == nullptr || firmware::modelWord(*mcu) != word) {
    out[1] = kUnknownModel;
    return;
  }
  Persistent& p = persistent_;
  const firmware::McuPtr fixed = config_.fixedModel.empty() ? nullptr : firmware::FindByName(config_.fixedModel);
  const std::uint32_t inSocket = fixed != nullptr ? firmware::modelWord(*fixed) : p.adoptedModel;
  if (inSocket != 0 && inSocket != word) {
    out[1] = kModelMismatch;
    return;
  }
  if (p.adoptedModel != word || p.targetFlash.size() != mcu->flashSize) {
    // A new chip in the socket comes erased.
    p.adoptedModel = word;
    p.targetFlash = NorFlash(mcu->flashSize);
  }
  p.targetPowered = true;
  connected_ = true;
  put16(out, 2, kConnectInfo);
  put32(out, 4, mcu->flashSize);
  put16(out, 8, config_.eraseUnits == EraseUnits::A ? config_.eraseUnitSize : 0);
  put16(out, 10, config_.eraseUnits == EraseUnits::B ? config_.eraseUnitSize : 0);
}

void ProgrammerModel::eraseTarget(const Bytes& req, Bytes& out, Answer& a) {
  if (!connected_) {
    out[1] = kNotConnected;
    return;
  }
  NorFlash& flash = persistent_.targetFlash;
  const std::uint8_t mode = u8At(req, 1);
  const std::uint32_t address = u32At(req, 2);
  const std::uint16_t count = u16At(req, 6);
  if (mode == 2) {
    flash.eraseAll();
    a.cost += kChipEraseCost;
    return;
  }
  const std::uint32_t unit = mode <= 1 ? unitFor(mode) : 0;
  if (unit == 0) {
    out[1] = kInvalidOperation;
    return;
  }
  // Flash erases whole sectors: the one holding `address` and those after it.
  const std::size_t start = address / unit * unit;
  if (start >= flash.size()) {
    out[1] = kOutOfRange;
    return;
  }
  const std::size_t end = std::min<std::size_t>(flash.size(), std::size_t{address} + std::size_t{count} * unit);
  flash.erase(start, end > start ? end - start : 0);
  a.cost += kUnitEraseCost * count;
}

void ProgrammerModel::writeCache(const Bytes& req, Bytes& out) {
  const std::uint32_t offset = u32At(req, 1);
  const std::uint8_t length = u8At(req, 5);
  if (length > kPiece || offset > kCacheSize || length > kCacheSize - offset) {
    out[1] = kOutOfRange;
    return;
  }
  std::copy_n(req.begin() + 6, length, cache_.begin() + offset);
  out[2] = length;
}

void ProgrammerModel::burn(const Bytes& req, Bytes& out, Answer& a) {
  if (!connected_) {
    out[1] = kNotConnected;
    return;
  }
  const std::uint32_t address = u32At(req, 1);
  const std::uint16_t length = u16At(req, 9);
  NorFlash& flash = persistent_.targetFlash;
  static_assert(kCacheSize > 0xFFFF, "the cache holds any length a burn can name");
  if (!flash.contains(address, length)) {
    out[1] = kOutOfRange;
    return;
  }
  // Programming clears bits only: without an erase before, the data do not read back as sent.
  flash.program(address, std::span<const std::uint8_t>(cache_.data(), length));
  a.cost += std::chrono::milliseconds(1 + length / 256);
}

void ProgrammerModel::verify(const Bytes& req, Bytes& out) {
  if (!connected_) {
    out[1] = kNotConnected;
    return;
  }
  const std::uint32_t address = u32At(req, 1);
  const std::uint8_t length = u8At(req, 5);
  const NorFlash& flash = persistent_.targetFlash;
  if (length > kPiece || !flash.contains(address, length)) {
    out[1] = kOutOfRange;
    return;
  }
  if (!flash.equals(address, std::span<const std::uint8_t>(req.data() + 6, length))) out[1] = kVerifyFailed;
}

}  // namespace emulator::programmer
