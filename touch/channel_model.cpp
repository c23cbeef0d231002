#include "touch/channel_model.hpp"

namespace touch {

void ChannelModel::reset(std::size_t channels) {
  count = channels;
  numbers.assign(channels, 0);
  for (auto* v : {&thresholds, &fetchedThresholds, &baselines, &fetchedBaselines, &currents, &fetchedCurrents}) {
    v->assign(channels, 0);
  }
  differences.assign(channels, 0);
  keyFlags = fetchedKeyFlags = 0;
  refBaseline = refCurrent = fetchedRefBaseline = fetchedRefCurrent = 0;
  refDifference = 0;
}

}  // namespace touch
