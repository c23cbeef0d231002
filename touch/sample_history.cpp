#include "touch/sample_history.hpp"

#include <algorithm>

namespace touch {

SampleHistory::SampleHistory(base::Millis span, std::size_t capacity)
    : span_(span), capacity_(std::max<std::size_t>(capacity, 1)), times_(capacity_) {}

void SampleHistory::clear() {
  numbers_.clear();
  points_.clear();
  head_ = size_ = 0;
  ++generation_;
}

void SampleHistory::restart(const ChannelModel& model, std::size_t count) {
  clear();
  numbers_.assign(model.numbers.begin(), model.numbers.begin() + static_cast<std::ptrdiff_t>(count));
  points_.assign(count * capacity_, SamplePoint{});
}

void SampleHistory::add(const ChannelModel& model, base::Millis at) {
  // A transport still filling its model never makes the history read past a vector's end.
  const std::size_t count = std::min({model.count, model.numbers.size(), model.currents.size(), model.baselines.size(),
                                      model.thresholds.size(), model.differences.size()});
  const bool sameChannels =
      count == numbers_.size() && std::equal(numbers_.begin(), numbers_.end(), model.numbers.begin());
  // Time running backwards means another clock, as after a new session: nothing older is comparable.
  if (!sameChannels || (size_ > 0 && at < timeAt(size_ - 1))) restart(model, count);
  while (size_ > 0 && timeAt(0) < at - span_) {
    head_ = (head_ + 1) % capacity_;
    --size_;
  }
  if (size_ == capacity_) {
    head_ = (head_ + 1) % capacity_;
    --size_;
  }
  const std::size_t s = slot(size_);
  times_[s] = at;
  for (std::size_t c = 0; c < numbers_.size(); ++c) {
    points_[c * capacity_ + s] = SamplePoint{model.currents[c], model.baselines[c], model.thresholds[c],
                                             model.keyTriggered(c), model.differences[c]};
  }
  ++size_;
  ++generation_;
}

std::size_t SampleHistory::firstAtOrAfter(base::Millis from) const {
  std::size_t low = 0;
  std::size_t high = size_;
  while (low < high) {
    const std::size_t mid = low + (high - low) / 2;
    if (timeAt(mid) < from) {
      low = mid + 1;
    } else {
      high = mid;
    }
  }
  return low;
}

}  // namespace touch
