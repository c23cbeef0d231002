#include "ui/touch/touch_plot.hpp"

#include <QElapsedTimer>
#include <QPainter>
#include <QTimer>
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "base/texts.hpp"
#include "touch/sample_history.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

enum class Value { Raw, Baseline, Difference, Threshold };

double valueOf(const touch::SamplePoint& p, Value v) {
  switch (v) {
    case Value::Raw:
      return p.raw;
    case Value::Baseline:
      return p.baseline;
    case Value::Difference:
      return p.difference;
    case Value::Threshold:
      return p.threshold;
  }
  return 0;
}

struct Pane {
  QRectF area;
  // The area below the legend line, where the values are drawn.
  QRectF data;
  std::vector<Value> values;
  double low = 0;
  double high = 1;
};

// A round step of about a fifth of `span`: 1, 2 or 5 times a power of ten.
double tickStep(double span) {
  const double rough = span / 5;
  const double magnitude = std::pow(10.0, std::floor(std::log10(rough)));
  for (double m : {1.0, 2.0, 5.0}) {
    if (m * magnitude >= rough) return m * magnitude;
  }
  return 10 * magnitude;
}

class Frame {
 public:
  Frame(const touch::SampleHistory& h, const std::vector<std::size_t>& channels, base::Millis window)
      : h_(h),
        channels_(channels),
        right_(h.size() > 0 ? h.timeAt(h.size() - 1) : base::Millis(0)),
        window_(window),
        first_(h.firstAtOrAfter(right_ - window)) {}

  void fitRange(Pane& pane) const {
    double low = std::numeric_limits<double>::max();
    double high = std::numeric_limits<double>::lowest();
    for (std::size_t c : channels_) {
      for (std::size_t i = first_; i < h_.size(); ++i) {
        for (Value v : pane.values) {
          const double y = valueOf(h_.pointAt(c, i), v);
          low = std::min(low, y);
          high = std::max(high, y);
        }
      }
    }
    if (low > high) low = high = 0;
    // Room above and below, and never a range so small that noise fills the pane.
    const double pad = std::max((high - low) * 0.08, 5.0);
    pane.low = low - pad;
    pane.high = high + pad;
  }

  // One polyline per channel and value, in whole pixels: per pixel column the first, lowest,
  // highest and last sample it covers, repeated points left out.
  QPolygon trace(const Pane& pane, std::size_t channel, Value v) const {
    QPolygon line;
    const QRect a = pane.data.toRect();
    const double xScale = a.width() / static_cast<double>(window_.count());
    const double yScale = a.height() / (pane.high - pane.low);
    const base::Millis left = right_ - window_;
    const auto add = [&line](int x, int y) {
      if (line.isEmpty() || line.back() != QPoint(x, y)) line << QPoint(x, y);
    };
    int column = std::numeric_limits<int>::min();
    // Rows of the column's first and last sample and its highest (top) and lowest (bottom) one.
    int first = 0, top = 0, bottom = 0, last = 0;
    const auto flush = [&] {
      if (column == std::numeric_limits<int>::min()) return;
      const int x = a.left() + column;
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
    for (std::size_t i = first_; i < h_.size(); ++i) {
      const int col = static_cast<int>(static_cast<double>((h_.timeAt(i) - left).count()) * xScale + 0.5);
      const int y = a.bottom() - static_cast<int>((valueOf(h_.pointAt(channel, i), v) - pane.low) * yScale + 0.5);
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

 private:
  const touch::SampleHistory& h_;
  const std::vector<std::size_t>& channels_;
  base::Millis right_;
  base::Millis window_;
  std::size_t first_;
};

constexpr std::array<QRgb, 10> kChannelColours = {0x1F77B4, 0xD62728, 0x2CA02C, 0xFF7F0E, 0x9467BD,
                                                  0x8C564B, 0xE377C2, 0x17BECF, 0x7F7F7F, 0xBCBD22};

QString seriesName(Value v) {
  static constexpr int kIds[] = {144, 145, 146, 147};
  return qs(base::text(kIds[static_cast<int>(v)]));
}

bool dashed(Value v) { return v == Value::Baseline || v == Value::Threshold; }

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
  if (series_.raw) upper.values.push_back(Value::Raw);
  if (series_.baseline) upper.values.push_back(Value::Baseline);
  if (series_.difference) lower.values.push_back(Value::Difference);
  if (series_.threshold) lower.values.push_back(Value::Threshold);
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
  const Frame frame(history_, shown, window_);
  for (std::size_t i = 0; i < panes.size(); ++i) {
    panes[i].area = QRectF(plotArea.left(), plotArea.top() + static_cast<double>(i) * (paneHeight + gap),
                           plotArea.width(), paneHeight);
    panes[i].data = panes[i].area.adjusted(0, fm.height() + 2, 0, 0);
    frame.fitRange(panes[i]);
  }

  const QColor grid(0xE4, 0xE4, 0xE4);
  const QColor axisText(0x50, 0x50, 0x50);
  for (const Pane& pane : panes) {
    p.setPen(grid);
    p.drawRect(pane.area);
    const double step = tickStep(pane.high - pane.low);
    const double yScale = pane.data.height() / (pane.high - pane.low);
    for (double v = std::ceil(pane.low / step) * step; v <= pane.high; v += step) {
      const double y = pane.data.bottom() - (v - pane.low) * yScale;
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
    for (Value v : pane.values) {
      for (std::size_t k = 0; k < shown.size(); ++k) {
        // One-pixel cosmetic pens take the rasteriser's fast path; wider ones go through the stroker.
        QPen pen(slotColour(k), 0, dashed(v) ? Qt::DashLine : Qt::SolidLine);
        pen.setCosmetic(true);
        p.setPen(pen);
        p.drawPolyline(frame.trace(pane, shown[k], v));
      }
    }
    p.restore();
  }

  // Legend: each pane's values with their line style, the channels with their colours.
  p.setRenderHint(QPainter::Antialiasing, false);
  for (const Pane& pane : panes) {
    double x = pane.area.left() + margin;
    const double y = pane.area.top() + fm.ascent() + 2;
    for (Value v : pane.values) {
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
