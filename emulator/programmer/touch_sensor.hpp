#pragma once
// A capacitive touch target as its firmware reports it: per channel a baseline that follows the
// raw count slowly, a raw count with a little noise that drops while a finger is on the key, and a
// threshold. Now and then a key is pressed for a while. Deterministic for a given seed.
#include <cstdint>
#include <vector>

namespace emulator::programmer {

class TouchSensor {
 public:
  TouchSensor(int channels, std::uint32_t seed);

  int channels() const { return static_cast<int>(channels_.size()); }
  // One measurement cycle of the target.
  void step();

  std::uint16_t baseline(int ch) const { return channels_[static_cast<std::size_t>(ch)].baseline; }
  std::uint16_t raw(int ch) const { return channels_[static_cast<std::size_t>(ch)].raw; }
  std::uint16_t threshold(int ch) const { return channels_[static_cast<std::size_t>(ch)].threshold; }
  void setThreshold(int ch, std::uint16_t value) { channels_[static_cast<std::size_t>(ch)].threshold = value; }
  std::uint8_t channelNumber(int ch) const { return static_cast<std::uint8_t>(ch); }
  // Bit n set while channel n's difference (baseline - raw) is above its threshold.
  std::uint64_t keyFlags() const;
  std::uint16_t referenceValue() const { return referenceValue_; }
  std::uint16_t referenceCurrent() const { return referenceCurrent_; }

 private:
  struct Channel {
    std::uint16_t baseline;
    std::uint16_t raw;
    std::uint16_t threshold;
  };
  std::uint32_t next();
  int noise(int span);

  std::vector<Channel> channels_;
  std::uint32_t rng_;
  int pressed_ = -1;
  int pressLeft_ = 0;
  int pressDepth_ = 0;
  std::uint16_t referenceValue_ = 1000;
  std::uint16_t referenceCurrent_ = 1000;
};

}  // namespace emulator::programmer
