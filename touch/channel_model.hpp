#pragma once
// What the host knows of a touch target's channels: per index the channel number, the values shown
// in the table and the values last fetched, so that only changed cells are rewritten.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace touch {

enum class Field { Current, Baseline, Difference, Threshold };

// Baseline minus current, both taken as unsigned 16-bit values.
inline std::int32_t difference(std::uint16_t baseline, std::uint16_t current) {
  return static_cast<std::int32_t>(baseline) - static_cast<std::int32_t>(current);
}

// The reference channel's values are shown only when they carry something: 0 and 0xFFFF stand for
// "no reference channel", and a negative difference is noise.
inline bool referenceShown(std::int32_t value) { return value > 0 && value != 0xFFFF; }

struct ChannelModel {
  std::size_t count = 0;
  std::vector<std::uint8_t> numbers;
  std::vector<std::uint16_t> thresholds;
  std::vector<std::uint16_t> fetchedThresholds;
  std::vector<std::uint16_t> baselines;
  std::vector<std::uint16_t> fetchedBaselines;
  std::vector<std::uint16_t> currents;
  std::vector<std::uint16_t> fetchedCurrents;
  std::vector<std::int32_t> differences;
  std::uint64_t keyFlags = 0;
  std::uint64_t fetchedKeyFlags = 0;
  std::uint16_t refBaseline = 0;
  std::uint16_t refCurrent = 0;
  std::int32_t refDifference = 0;
  std::uint16_t fetchedRefBaseline = 0;
  std::uint16_t fetchedRefCurrent = 0;

  // Every per-index vector sized to `channels` and zeroed; the key flags and reference cleared.
  void reset(std::size_t channels);
  bool keyTriggered(std::size_t index) const { return index < 64 && (keyFlags >> index & 1U) != 0; }
};

}  // namespace touch
