#include "ui/touch/touch_plot_view.hpp"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QToolButton>
#include <QVBoxLayout>
#include <QWidgetAction>
#include <algorithm>

#include "base/texts.hpp"
#include "touch/sample_history.hpp"
#include "ui/touch/touch_plot.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

constexpr int kMinSeconds = 2;
constexpr int kMaxSeconds = 30;
constexpr int kPickerNamesShown = 3;

}  // namespace

CTouchPlotView::CTouchPlotView(const touch::SampleHistory& history, QWidget* parent)
    : QWidget(parent), history_(history) {
  setObjectName(QStringLiteral("touchPlotView"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 2, 0, 0);
  column->setSpacing(2);
  auto* bar = new QHBoxLayout;
  bar->setContentsMargins(4, 0, 4, 0);
  bar->setSpacing(8);
  column->addLayout(bar);

  bar->addWidget(new QLabel(qs(base::text(143)), this));
  picker_ = new QToolButton(this);
  picker_->setObjectName(QStringLiteral("touchPlotPicker"));
  picker_->setPopupMode(QToolButton::InstantPopup);
  picker_->setToolButtonStyle(Qt::ToolButtonTextOnly);
  picker_->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("TP00, TP00, TP00 +00")) + 24);
  // A list inside the menu keeps it open while several channels are ticked.
  auto* menu = new QMenu(picker_);
  channelList_ = new QListWidget(menu);
  channelList_->setObjectName(QStringLiteral("touchPlotChannels"));
  auto* holder = new QWidgetAction(menu);
  holder->setDefaultWidget(channelList_);
  menu->addAction(holder);
  picker_->setMenu(menu);
  connect(channelList_, &QListWidget::itemChanged, this, &CTouchPlotView::pickerChanged);
  bar->addWidget(picker_);

  const auto toggle = [this, bar](int textId, const char* name) {
    auto* box = new QCheckBox(qs(base::text(textId)), this);
    box->setObjectName(QString::fromLatin1(name));
    box->setChecked(true);
    connect(box, &QCheckBox::toggled, this, &CTouchPlotView::seriesToggled);
    bar->addWidget(box);
    return box;
  };
  raw_ = toggle(144, "touchPlotRaw");
  baseline_ = toggle(145, "touchPlotBaseline");
  difference_ = toggle(146, "touchPlotDifference");
  threshold_ = toggle(147, "touchPlotThreshold");
  bar->addStretch(1);

  seconds_ = new QSpinBox(this);
  seconds_->setObjectName(QStringLiteral("touchPlotSeconds"));
  seconds_->setRange(kMinSeconds, std::min<int>(kMaxSeconds, static_cast<int>(history.span().count() / 1000)));
  seconds_->setValue(kDefaultSeconds);
  seconds_->setSuffix(qs(base::text("touch.plot.seconds")));
  seconds_->setToolTip(qs(base::text("touch.plot.window_tip")));
  bar->addWidget(seconds_);

  plot_ = new CTouchPlot(history, this);
  plot_->setWindow(base::Millis(kDefaultSeconds * 1000));
  connect(seconds_, &QSpinBox::valueChanged, this, [this](int s) { plot_->setWindow(base::Millis(s * 1000)); });
  column->addWidget(plot_, 1);
  choice_.follow(history_);
  rebuildPicker();
}

void CTouchPlotView::samplesChanged() {
  switch (choice_.follow(history_)) {
    case touch::PlotChannels::Change::NewList:
      rebuildPicker();
      break;
    case touch::PlotChannels::Change::Chosen:
      showChosen(choice_.chosen());
      break;
    case touch::PlotChannels::Change::None:
      break;
  }
  plot_->samplesChanged();
}

void CTouchPlotView::rebuildPicker() {
  {
    const QSignalBlocker quiet(channelList_);
    channelList_->clear();
    for (std::size_t c = 0; c < history_.channels(); ++c) {
      auto* item = new QListWidgetItem(QStringLiteral("TP%1").arg(history_.numbers()[c]), channelList_);
      item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsUserCheckable);
      item->setCheckState(Qt::Unchecked);
    }
    const int rows = std::clamp(channelList_->count(), 1, 16);
    channelList_->setFixedHeight(rows * channelList_->fontMetrics().height() * 3 / 2 + 2 * channelList_->frameWidth());
  }
  showChosen(choice_.chosen());
}

void CTouchPlotView::pickerChanged() {
  std::vector<std::size_t> chosen;
  for (int row = 0; row < channelList_->count(); ++row) {
    if (channelList_->item(row)->checkState() == Qt::Checked) chosen.push_back(static_cast<std::size_t>(row));
  }
  choice_.pick(chosen);
  showChosen(std::move(chosen));
}

void CTouchPlotView::showChosen(std::vector<std::size_t> indexes) {
  {
    const QSignalBlocker quiet(channelList_);
    for (int row = 0; row < channelList_->count(); ++row) {
      const bool on = std::find(indexes.begin(), indexes.end(), static_cast<std::size_t>(row)) != indexes.end();
      channelList_->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
    }
  }
  QStringList names;
  for (std::size_t i = 0; i < indexes.size() && i < kPickerNamesShown; ++i) {
    names << QStringLiteral("TP%1").arg(history_.numbers()[indexes[i]]);
  }
  QString text = names.isEmpty() ? QStringLiteral("-") : names.join(QStringLiteral(", "));
  if (indexes.size() > kPickerNamesShown) text += QStringLiteral(" +%1").arg(indexes.size() - kPickerNamesShown);
  picker_->setText(text);
  plot_->setChannels(std::move(indexes));
}

void CTouchPlotView::seriesToggled() {
  plot_->setSeries({raw_->isChecked(), baseline_->isChecked(), difference_->isChecked(), threshold_->isChecked()});
}
