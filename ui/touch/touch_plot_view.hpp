#pragma once
// The plot with its controls above it: the channel picker (a drop-down list of checkable
// channels), the toggles of the four values and the seconds shown. touch::PlotChannels decides
// which channels are shown.
#include <QWidget>
#include <vector>

#include "touch/plot_channels.hpp"

class QCheckBox;
class QListWidget;
class QSpinBox;
class QToolButton;
class CTouchPlot;

class CTouchPlotView : public QWidget {
  Q_OBJECT

 public:
  static constexpr int kDefaultSeconds = 10;

  explicit CTouchPlotView(const touch::SampleHistory& history, QWidget* parent = nullptr);

  // The history took samples (or started afresh).
  void samplesChanged();
  CTouchPlot* plot() const { return plot_; }

 private:
  void rebuildPicker();
  void pickerChanged();
  void showChosen(std::vector<std::size_t> indexes);
  void seriesToggled();

  const touch::SampleHistory& history_;
  touch::PlotChannels choice_;
  QToolButton* picker_ = nullptr;
  QListWidget* channelList_ = nullptr;
  QCheckBox* raw_ = nullptr;
  QCheckBox* baseline_ = nullptr;
  QCheckBox* difference_ = nullptr;
  QCheckBox* threshold_ = nullptr;
  QSpinBox* seconds_ = nullptr;
  CTouchPlot* plot_ = nullptr;
};
