#pragma once
// The last seconds of every channel's samples, for the live plot: per channel a ring of (raw,
// baseline, difference, threshold, key flag) beside one ring of sample times, all of a fixed capacity, so
// the memory stays bounded whatever the sample rate. A sample whose channel list differs from the
// one held (a new session linked another target) starts the history afresh.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "base/timer.hpp"
#include "touch/channel_model.hpp"

namespace touch {

struct SamplePoint {
  std::uint16_t raw = 0;
  std::uint16_t baseline = 0;
  std::uint16_t threshold = 0;
  bool pressed = false;
  std::int32_t difference = 0;

  bool operator==(const SamplePoint&) const = default;
};

class SampleHistory {
 public:
  // Samples older than `span` before the newest are dropped; at most `capacity` are kept.
  SampleHistory(base::Millis span, std::size_t capacity);

  void add(const ChannelModel& model, base::Millis at);
  void clear();

  base::Millis span() const { return span_; }
  std::size_t capacity() const { return capacity_; }
  // The channel numbers the history holds, by index.
  const std::vector<std::uint8_t>& numbers() const { return numbers_; }
  std::size_t channels() const { return numbers_.size(); }
  // Samples held per channel; index 0 is the oldest.
  std::size_t size() const { return size_; }
  base::Millis timeAt(std::size_t i) const { return times_[slot(i)]; }
  const SamplePoint& pointAt(std::size_t channel, std::size_t i) const {
    return points_[channel * capacity_ + slot(i)];
  }
  // Counts every sample added and every restart, so that a view knows when to redraw.
  std::uint64_t generation() const { return generation_; }
  // Index of the first sample at or after `from` (size() when none).
  std::size_t firstAtOrAfter(base::Millis from) const;

 private:
  std::size_t slot(std::size_t i) const { return (head_ + i) % capacity_; }
  void restart(const ChannelModel& model, std::size_t count);

  base::Millis span_;
  std::size_t capacity_;
  std::vector<std::uint8_t> numbers_;
  std::vector<base::Millis> times_;
  // Channel-major: channel c's ring is points_[c * capacity_ .. (c + 1) * capacity_).
  std::vector<SamplePoint> points_;
  std::size_t head_ = 0;
  std::size_t size_ = 0;
  std::uint64_t generation_ = 0;
};

}  // namespace touch
