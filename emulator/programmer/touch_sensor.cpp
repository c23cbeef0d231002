#include "emulator/programmer/touch_sensor.hpp"

#include <algorithm>

namespace emulator::programmer {
namespace {

constexpr int kIdleBase = 1800;
constexpr std::uint16_t kDefaultThreshold = 120;
constexpr std::uint32_t kPressOneIn = 25;

}  // namespace

TouchSensor::TouchSensor(int channels, std::uint32_t seed) : rng_(seed == 0 ? 0x9E3779B9U : seed) {
  channels_.resize(static_cast<std::size_t>(std::max(channels, 0)));
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    const auto base = static_cast<std::uint16_t>(kIdleBase + 23 * static_cast<int>(i));
    channels_[i] = Channel{base, base, kDefaultThreshold};
  }
}

std::uint32_t TouchSensor::next() {
  // xorshift32: cheap and the same sequence on every platform.
  rng_ ^= rng_ << 13;
  rng_ ^= rng_ >> 17;
  rng_ ^= rng_ << 5;
  return rng_;
}

int TouchSensor::noise(int span) { return static_cast<int>(next() % static_cast<std::uint32_t>(2 * span + 1)) - span; }

void TouchSensor::step() {
  if (pressLeft_ > 0) {
    --pressLeft_;
  } else if (!channels_.empty() && next() % kPressOneIn == 0) {
    pressed_ = static_cast<int>(next() % channels_.size());
    pressLeft_ = 8 + static_cast<int>(next() % 12);
    pressDepth_ = 130 + static_cast<int>(next() % 70);  // percent of the threshold
  } else {
    pressed_ = -1;
  }
  for (std::size_t i = 0; i < channels_.size(); ++i) {
    Channel& c = channels_[i];
    const bool down = static_cast<int>(i) == pressed_ && pressLeft_ > 0;
    const int depth = down ? c.threshold * pressDepth_ / 100 : 0;
    c.raw = static_cast<std::uint16_t>(std::clamp(c.baseline - depth + noise(4), 0, 0xFFFF));
    // The baseline tracks slow drift, never a finger.
    if (!down) {
      const int diff = c.raw - c.baseline;
      if (diff > 2) ++c.baseline;
      if (diff < -2) --c.baseline;
    }
  }
  referenceCurrent_ = static_cast<std::uint16_t>(referenceValue_ - static_cast<int>(next() % 4));
}

std::uint64_t TouchSensor::keyFlags() const {
  std::uint64_t flags = 0;
  for (std::size_t i = 0; i < channels_.size() && i < 64; ++i) {
    const int diff = channels_[i].baseline - channels_[i].raw;
    if (diff > channels_[i].threshold) flags |= std::uint64_t{1} << i;
  }
  return flags;
}

}  // namespace emulator::programmer
