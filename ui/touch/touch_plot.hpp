#pragma once
// The live plot beside the channel table: for the chosen channels the current (raw) and baseline
// values in the upper pane, the difference and the threshold line in the lower one, over the last
// seconds of the sample history. Each channel shown has its own colour; baseline and threshold are dashed.
// Every pixel column draws the minimum and maximum of the samples it covers, so the cost of a
// frame follows the width, not the sample rate, and frames are drawn at most ~30 times a second,
// only while the plot is shown.
#include <QWidget>
#include <cstddef>
#include <vector>

#include "base/timer.hpp"

class QTimer;

namespace touch {
class SampleHistory;
}

struct TouchPlotSeries {
  bool raw = true;
  bool baseline = true;
  bool difference = true;
  bool threshold = true;

  bool operator==(const TouchPlotSeries&) const = default;
};

class CTouchPlot : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kFrameIntervalMs = 33;
  static constexpr int kIdleFramesPerPainted = 4;

  explicit CTouchPlot(const touch::SampleHistory& history, QWidget* parent = nullptr);

  // Indexes into the history's channels.
  void setChannels(std::vector<std::size_t> indexes);
  const std::vector<std::size_t>& channels() const { return channels_; }
  void setSeries(const TouchPlotSeries& series);
  const TouchPlotSeries& series() const { return series_; }
  void setWindow(base::Millis window);
  base::Millis window() const { return window_; }
  // The history changed: a frame follows within kFrameIntervalMs (longer after frames that took
  // long to paint) while the plot is shown.
  void samplesChanged();
  // The colour of the channel shown `index`th, distinct for the first ten.
  static QColor slotColour(std::size_t index);

  QSize minimumSizeHint() const override;
  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void showEvent(QShowEvent* event) override;

 private:
  void requestFrame();
  void paint();

  const touch::SampleHistory& history_;
  std::vector<std::size_t> channels_;
  TouchPlotSeries series_;
  base::Millis window_{10000};
  QTimer* frame_ = nullptr;
};
