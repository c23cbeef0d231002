#include "ui/touch/touch_plot.hpp"

#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cmath>

#include "base/texts.hpp"
#include "touch/plot_trace.hpp"
#include "touch/sample_history.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

using touch::PlotValue;

struct Pane {
  QRectF area;
  // The area below the legend line, where the values are drawn.
  QRectF data;
  std::vector<PlotValue> values;
  touch::PlotRange range;
};

touch::PixelRect pixels(const QRectF& area) {
  const QRect r = area.toRect();
  return {r.left(), r.top(), r.width(), r.height()};
}

QPolygon polygon(const std::vector<touch::PixelPoint>& points) {
  QPolygon line(static_cast<int>(points.size()));
  for (std::size_t i = 0; i < points.size(); ++i) line.setPoint(static_cast<int>(i), points[i].x, points[i].y);
  return line;
}

constexpr std::array<QRgb, 10> kChannelColours = {0x1F77B4, 0xD62728, 0x2CA02C, 0xFF7F0E, 0x9467BD,
                                                  0x8C564B, 0xE377C2, 0x17BECF, 0x7F7F7F, 0xBCBD22};

QString seriesName(PlotValue v) {
  static constexpr int kIds[] = {144, 145, 146, 147};
  return qs(base::text(kIds[static_cast<int>(v)]));
}

bool dashed(PlotValue v) { return v == PlotValue::Baseline || v == PlotValue::Threshold; }

}  // namespace

CTouchPlot::CTouchPlot(const touch::SampleHistory& history, QWidget* parent) : QWidget(parent), history_(history) {
  setObjectName(QStringLiteral("touchPlot"));
  setAttribute(Qt::WA_OpaquePaintEvent);
  frame_ = new QTimer(this);
  frame_->setSingleShot(true);
  frame_->setInterval(kFrameIntervalMs);
  connect(frame_, &QTimer::timeout, this, qOverload<>(&QWidget::update));
}

QColor CTouchPlot::slotColour(std::size_t index) {
  return QColor::fromRgb(kChannelColours[index % kChannelColours.size()]);
}

void CTouchPlot::setChannels(std::vector<std::size_t> indexes) {
  channels_ = std::move(indexes);
  requestFrame();
}

void CTouchPlot::setSeries(const TouchPlotSeries& series) {
  series_ = series;
  requestFrame();
}

void CTouchPlot::setWindow(base::Millis window) {
  window_ = std::max(window, base::Millis(1000));
  requestFrame();
}

void CTouchPlot::samplesChanged() { requestFrame(); }

void CTouchPlot::requestFrame() {
  if (isVisible() && !frame_->isActive()) frame_->start();
}

void CTouchPlot::showEvent(QShowEvent* event) {
  QWidget::showEvent(event);
  update();
}

QSize CTouchPlot::minimumSizeHint() const { return {200, 6 * fontMetrics().height()}; }

QSize CTouchPlot::sizeHint() const { return {400, 12 * fontMetrics().height()}; }

void CTouchPlot::paintEvent(QPaintEvent*) {
  QElapsedTimer painting;
  painting.start();
  paint();
  // A heavy frame (many channels on a slow machine) spaces the next ones out, so that painting
  // never takes more than about a fifth of the thread.
  frame_->setInterval(std::max<int>(kFrameIntervalMs, static_cast<int>(painting.elapsed()) * kIdleFramesPerPainted));
}

void CTouchPlot::paint() {
  QPainter p(this);
  p.fillRect(rect(), Qt::white);
  const QFontMetrics fm = fontMetrics();
  const int margin = fm.height() / 2;
  const QRectF plotArea = QRectF(rect()).adjusted(fm.horizontalAdvance(QStringLiteral("-00000")) + margin, margin,
                                                  -margin, -(fm.height() + margin));

  // Only channels the history still holds (the list may have changed since they were chosen).
  std::vector<std::size_t> shown;
  for (std::size_t c : channels_) {
    if (c < history_.channels()) shown.push_back(c);
  }
  std::vector<Pane> panes;
  Pane upper, lower;
  if (series_.raw) upper.values.push_back(PlotValue::Raw);
  if (series_.baseline) upper.values.push_back(PlotValue::Baseline);
  if (series_.difference) lower.values.push_back(PlotValue::Difference);
  if (series_.threshold) lower.values.push_back(PlotValue::Threshold);
  for (Pane* pane : {&upper, &lower}) {
    if (!pane->values.empty()) panes.push_back(*pane);
  }
  if (history_.size() == 0 || shown.empty() || panes.empty()) {
    p.setPen(palette().color(QPalette::Disabled, QPalette::WindowText));
    p.drawText(rect(), Qt::AlignCenter, qs(base::text("touch.plot.no_samples")));
    return;
  }

  const double gap = margin;
  const double paneHeight =
      (plotArea.height() - gap * static_cast<double>(panes.size() - 1)) / static_cast<double>(panes.size());
  const touch::PlotWindow frame(history_, window_);
  for (std::size_t i = 0; i < panes.size(); ++i) {
    panes[i].area = QRectF(plotArea.left(), plotArea.top() + static_cast<double>(i) * (paneHeight + gap),
                           plotArea.width(), paneHeight);
    panes[i].data = panes[i].area.adjusted(0, fm.height() + 2, 0, 0);
    panes[i].range = frame.fitRange(shown, panes[i].values);
  }

  const QColor grid(0xE4, 0xE4, 0xE4);
  const QColor axisText(0x50, 0x50, 0x50);
  for (const Pane& pane : panes) {
    p.setPen(grid);
    p.drawRect(pane.area);
    const double step = touch::plotTickStep(pane.range.high - pane.range.low);
    const double yScale = pane.data.height() / (pane.range.high - pane.range.low);
    for (double v = std::ceil(pane.range.low / step) * step; v <= pane.range.high; v += step) {
      const double y = pane.data.bottom() - (v - pane.range.low) * yScale;
      p.setPen(grid);
      p.drawLine(QPointF(pane.area.left(), y), QPointF(pane.area.right(), y));
      p.setPen(axisText);
      p.drawText(QRectF(0, y - fm.height() / 2.0, pane.area.left() - margin / 2.0, fm.height()),
                 Qt::AlignRight | Qt::AlignVCenter, QString::number(static_cast<long long>(std::llround(v))));
    }
  }
  // Seconds before the newest sample along the bottom.
  const double seconds = static_cast<double>(window_.count()) / 1000.0;
  const double secondStep = seconds > 10 ? 5 : seconds > 4 ? 2 : 1;
  const QString unit = qs(base::text("touch.plot.seconds"));
  p.setPen(axisText);
  for (double s = 0; s <= seconds + 1e-9; s += secondStep) {
    const double x = plotArea.right() - s / seconds * plotArea.width();
    const QString label = (s == 0 ? QStringLiteral("0") : QStringLiteral("-%1").arg(s)) + unit;
    const double w = fm.horizontalAdvance(label);
    const double left = std::clamp(x - w / 2, 0.0, static_cast<double>(width()) - w);
    p.drawText(QPointF(left, plotArea.bottom() + fm.ascent() + margin / 2.0), label);
  }

  p.setRenderHint(QPainter::Antialiasing, false);
  for (const Pane& pane : panes) {
    p.save();
    p.setClipRect(pane.data.adjusted(0, 0, 1, 1));
    for (PlotValue v : pane.values) {
      for (std::size_t k = 0; k < shown.size(); ++k) {
        // One-pixel cosmetic pens take the rasteriser's fast path; wider ones go through the stroker.
        QPen pen(slotColour(k), 0, dashed(v) ? Qt::DashLine : Qt::SolidLine);
        pen.setCosmetic(true);
        p.setPen(pen);
        p.drawPolyline(polygon(frame.trace(pixels(pane.data), pane.range, shown[k], v)));
      }
    }
    p.restore();
  }

  // Legend: each pane's values with their line style, the channels with their colours.
  p.setRenderHint(QPainter::Antialiasing, false);
  for (const Pane& pane : panes) {
    double x = pane.area.left() + margin;
    const double y = pane.area.top() + fm.ascent() + 2;
    for (PlotValue v : pane.values) {
      p.setPen(QPen(axisText, 1.5, dashed(v) ? Qt::DashLine : Qt::SolidLine));
      p.drawLine(QPointF(x, y - fm.ascent() / 3.0), QPointF(x + 18, y - fm.ascent() / 3.0));
      p.setPen(axisText);
      p.drawText(QPointF(x + 22, y), seriesName(v));
      x += 22 + fm.horizontalAdvance(seriesName(v)) + margin;
    }
  }
  double x = panes.front().area.right() - margin;
  const double y = panes.front().area.top() + fm.ascent() + 2;
  for (std::size_t k = shown.size(); k-- > 0;) {
    const QString name = QStringLiteral("TP%1").arg(history_.numbers()[shown[k]]);
    x -= fm.horizontalAdvance(name);
    p.setPen(slotColour(k));
    p.drawText(QPointF(x, y), name);
    x -= margin;
  }
}
