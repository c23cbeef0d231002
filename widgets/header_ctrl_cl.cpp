#include "widgets/header_ctrl_cl.hpp"

#include <QPainter>

#include <algorithm>

QFont SongTiFont() {
  QFont font;
  font.setFamilies({QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("NSimSun"),
                    QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC")});
  font.setStyleHint(QFont::SansSerif);
  return font;
}

CHeaderCtrlCl::CHeaderCtrlCl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
  setObjectName(QStringLiteral("headerCtrlCl"));
  setSectionsMovable(false);
  setSectionsClickable(false);
  setHighlightSections(false);
  SetHeaderFont(14, 0);
  connect(this, &QHeaderView::sectionCountChanged, this, &CHeaderCtrlCl::applyFixedColumns);
}

void CHeaderCtrlCl::SetGradientStart(QColor start) {
  start_ = start;
  viewport()->update();
}

void CHeaderCtrlCl::SetGradientStep(int step) {
  step_ = std::max(step, 0);
  viewport()->update();
}

void CHeaderCtrlCl::SetHeightFactor(double factor) {
  heightFactor_ = factor;
  updateGeometry();
}

void CHeaderCtrlCl::SetHeaderFont(int height, int width) {
  headerFont_ = SongTiFont();
  headerFont_.setPixelSize(std::max(height, 1));
  if (width > 0) headerFont_.setStretch(std::clamp(width * 200 / std::max(height, 1), 1, 4000));
  setFont(headerFont_);
  updateGeometry();
}

void CHeaderCtrlCl::SetTextColor(QColor colour) {
  textColour_ = colour;
  viewport()->update();
}

void CHeaderCtrlCl::SetFixedColumns(int count) {
  fixedColumns_ = count;
  applyFixedColumns();
}

void CHeaderCtrlCl::applyFixedColumns() {
  for (int i = 0; i < count(); ++i) {
    setSectionResizeMode(i, i < fixedColumns_ ? QHeaderView::Fixed : QHeaderView::Interactive);
  }
}

QColor CHeaderCtrlCl::GradientAt(int y) const {
  const int down = step_ * std::max(y, 0);
  return QColor(std::max(start_.red() - down, 0), std::max(start_.green() - down, 0), std::max(start_.blue() - down, 0));
}

QSize CHeaderCtrlCl::sizeHint() const {
  QSize s = QHeaderView::sizeHint();
  s.setHeight(static_cast<int>(QFontMetrics(headerFont_).height() * heightFactor_) + 2);
  return s;
}

void CHeaderCtrlCl::fillGradient(QPainter& painter, const QRect& rect) const {
  for (int y = rect.top(); y <= rect.bottom(); ++y) {
    painter.setPen(GradientAt(y - rect.top()));
    painter.drawLine(rect.left(), y, rect.right(), y);
  }
}

void CHeaderCtrlCl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
  if (!rect.isValid()) return;
  painter->save();
  fillGradient(*painter, rect);
  painter->setPen(QColor(0, 0, 0, 60));
  painter->drawLine(rect.topRight(), rect.bottomRight());
  const QString text = model() != nullptr ? model()->headerData(logicalIndex, orientation()).toString() : QString();
  // Fonts without the narrow "宋体" letters shrink until the title fits its column.
  QFont font = headerFont_;
  while (font.pixelSize() > 6 && QFontMetrics(font).horizontalAdvance(text) > rect.width() - 4) {
    font.setPixelSize(font.pixelSize() - 1);
  }
  painter->setFont(font);
  painter->setPen(textColour_);
  painter->drawText(rect, Qt::AlignCenter, text);
  painter->restore();
}

void CHeaderCtrlCl::paintEvent(QPaintEvent* event) {
  QHeaderView::paintEvent(event);
  // The band right of the last item carries the same gradient.
  const int end = length() - offset();
  if (end < viewport()->width()) {
    QPainter painter(viewport());
    fillGradient(painter, QRect(end, 0, viewport()->width() - end, viewport()->height()));
  }
}
