#pragma once
// Which channels the live plot shows. Until the user picks, the first channel and the last few
// whose key triggered (a newly triggered key takes the place of the one triggered longest ago;
// the first channel stays); a new channel list starts over from the first channel.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "touch/sample_history.hpp"

namespace touch {

class PlotChannels {
 public:
  static constexpr std::size_t kMostChosenByKeys = 4;

  enum class Change { None, Chosen, NewList };

  // The history took samples or started afresh.
  Change follow(const SampleHistory& history);
  // The user's own choice, kept until the channel list changes.
  void pick(std::vector<std::size_t> indexes);
  const std::vector<std::size_t>& chosen() const { return chosen_; }

 private:
  std::vector<std::uint8_t> numbers_;
  std::vector<std::size_t> chosen_;
  bool userPicked_ = false;
};

}  // namespace touch
