#pragma once
// What the live plot draws, without Qt: the value range a pane needs for the samples of its window,
// round tick steps, and per channel and value a polyline in whole pixels that keeps, per pixel
// column, the first, lowest, highest and last sample it covers. A frame's cost follows the width,
// not the sample rate, and a press lasting one sample still reaches its full height.
#include <cstddef>
#include <vector>

#include "base/timer.hpp"
#include "touch/sample_history.hpp"

namespace touch {

enum class PlotValue { Raw, Baseline, Difference, Threshold };

double plotValueOf(const SamplePoint& point, PlotValue value);

struct PlotRange {
  double low = 0;
  double high = 1;
};

// A pane's drawing area in pixels; bottom() is its last row.
struct PixelRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  int bottom() const { return top + height - 1; }
};

struct PixelPoint {
  int x = 0;
  int y = 0;
  bool operator==(const PixelPoint&) const = default;
};

// A round step of about a fifth of `span`: 1, 2 or 5 times a power of ten.
double plotTickStep(double span);

// The samples of the last `window` before the newest one in `history`.
class PlotWindow {
 public:
  PlotWindow(const SampleHistory& history, base::Millis window);

  // The range of `values` over `channels`, with room above and below and never narrower than
  // ten counts, so that noise does not fill the pane.
  PlotRange fitRange(const std::vector<std::size_t>& channels, const std::vector<PlotValue>& values) const;
  // The polyline of one channel's value, repeated points left out.
  std::vector<PixelPoint> trace(const PixelRect& area, PlotRange range, std::size_t channel, PlotValue value) const;

 private:
  const SampleHistory& history_;
  base::Millis right_;
  base::Millis window_;
  std::size_t first_;
};

}  // namespace touch
