#include "touch/table_geometry.hpp"

#include <algorithm>
#include <cmath>

namespace touch {
namespace {

int times(double value, double scale) { return static_cast<int>(value * scale); }

}  // namespace

int TableGeometry::columnWidth(int column) const {
  if (column == 5) return spacerWidth;
  const int inHalf = column % 6;
  if (inHalf == 0) return channelWidth;
  return inHalf == 4 ? thresholdWidth : valueWidth;
}

double displayScale(double meanDpi) { return std::max(1.0, 1.0 + 0.25 * std::floor((meanDpi - 96.0) / 24.0)); }

TableGeometry tableGeometry(double s) {
  TableGeometry g;
  if (s <= 1.0) {
    g = {70, 65, 75, 10, 16, 16, 24, 1.8};
  } else if (s < 1.5) {
    g = {times(60, s), times(60, s), times(60, s), times(40, s), 18, 16, times(25, s), 2.1 * s};
  } else if (s < 1.7) {
    g = {times(60, s), times(60, s), times(60, s), times(50, s), 22, 22, times(22, s), 1.2 * s};
  } else {
    g = {times(70, s), times(60, s), times(60, s), times(66, s), 22, 22, times(26, s), 1.8 * s};
  }
  return g;
}

}  // namespace touch
