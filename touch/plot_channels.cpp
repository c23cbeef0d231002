#include "touch/plot_channels.hpp"

#include <algorithm>
#include <utility>

namespace touch {

PlotChannels::Change PlotChannels::follow(const SampleHistory& history) {
  Change change = Change::None;
  if (history.numbers() != numbers_) {
    numbers_ = history.numbers();
    userPicked_ = false;
    chosen_ = history.channels() > 0 ? std::vector<std::size_t>{0} : std::vector<std::size_t>{};
    change = Change::NewList;
  }
  if (userPicked_ || history.size() == 0) return change;
  std::vector<std::size_t> chosen = chosen_;
  for (std::size_t c = 0; c < history.channels(); ++c) {
    if (history.pointAt(c, history.size() - 1).pressed && std::find(chosen.begin(), chosen.end(), c) == chosen.end()) {
      if (chosen.size() >= kMostChosenByKeys) chosen.erase(chosen.begin() + 1);
      chosen.push_back(c);
    }
  }
  if (chosen == chosen_) return change;
  chosen_ = std::move(chosen);
  return change == Change::None ? Change::Chosen : change;
}

void PlotChannels::pick(std::vector<std::size_t> indexes) {
  userPicked_ = true;
  chosen_ = std::move(indexes);
}

}  // namespace touch
