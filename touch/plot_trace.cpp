#include "touch/plot_trace.hpp"

#include <algorithm>
#include <cmath>
#include <limits>

namespace touch {

double plotValueOf(const SamplePoint& point, PlotValue value) {
  switch (value) {
    case PlotValue::Raw:
      return point.raw;
    case PlotValue::Baseline:
      return point.baseline;
    case PlotValue::Difference:
      return point.difference;
    case PlotValue::Threshold:
      return point.threshold;
  }
  return 0;
}

double plotTickStep(double span) {
  const double rough = span / 5;
  const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
  for (double m : {1.0, 2.0, 5.0}) {
    if (m * magnitude >= rough) return m * magnitude;
  }
  return 10 * magnitude;
}

PlotWindow::PlotWindow(const SampleHistory& history, base::Millis window)
    : history_(history),
      right_(history.size() > 0 ? history.timeAt(history.size() - 1) : base::Millis(0)),
      window_(window),
      first_(history.firstAtOrAfter(right_ - window)) {}

PlotRange PlotWindow::fitRange(const std::vector<std::size_t>& channels, const std::vector<PlotValue>& values) const {
  double low = std::numeric_limits<double>::max();
  double high = std::numeric_limits<double>::lowest();
  for (std::size_t c : channels) {
    for (std::size_t i = first_; i < history_.size(); ++i) {
      for (PlotValue v : values) {
        const double y = plotValueOf(history_.pointAt(c, i), v);
        low = std::min(low, y);
        high = std::max(high, y);
      }
    }
  }
  if (low > high) low = high = 0;
  const double pad = std::max((high - low) * 0.08, 5.0);
  return {low - pad, high + pad};
}

std::vector<PixelPoint> PlotWindow::trace(const PixelRect& area, PlotRange range, std::size_t channel,
                                          PlotValue value) const {
  std::vector<PixelPoint> line;
  const double xScale = area.width / static_cast<double>(window_.count());
  const double yScale = area.height / (range.high - range.low);
  const base::Millis left = right_ - window_;
  const auto add = [&line](int x, int y) {
    if (line.empty() || line.back() != PixelPoint{x, y}) line.push_back({x, y});
  };
  int column = std::numeric_limits<int>::min();
  // Rows of the column's first and last sample and its highest (top) and lowest (bottom) one.
  int first = 0, top = 0, bottom = 0, last = 0;
  const auto flush = [&] {
    if (column == std::numeric_limits<int>::min()) return;
    const int x = area.left + column;
    add(x, first);
    // From the first sample to the nearer extreme, then the farther one.
    if (first - top <= bottom - first) {
      add(x, top);
      add(x, bottom);
    } else {
      add(x, bottom);
      add(x, top);
    }
    add(x, last);
  };
  for (std::size_t i = first_; i < history_.size(); ++i) {
    const int col = static_cast<int>(static_cast<double>((history_.timeAt(i) - left).count()) * xScale + 0.5);
    const int y =
        area.bottom() - static_cast<int>((plotValueOf(history_.pointAt(channel, i), value) - range.low) * yScale + 0.5);
    if (col != column) {
      flush();
      column = col;
      first = top = bottom = y;
    }
    top = std::min(top, y);
    bottom = std::max(bottom, y);
    last = y;
  }
  flush();
  return line;
}

}  // namespace touch
