// Painting of the hex editor: every row in view is drawn into an off-screen frame, which is then
// copied to the screen in one go.
#include <QFontMetrics>
#include <QGlyphRun>
#include <QPainter>

#include <algorithm>
#include <string>

#include "widgets/hexeditbase.hpp"

namespace {

void appendHexPair(std::string& out, std::uint8_t byte) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 0x0F];
}

}  // namespace

void CHexEditBase::updateFontCaches() {
  const QFontMetrics metrics(font_);
  charWidth_ = std::max(1, metrics.horizontalAdvance(QLatin1Char('0')));
  charHeight_ = std::max(1, metrics.height());
  ascent_ = metrics.ascent();
  rawFont_ = QRawFont::fromFont(font_);
  glyphs_.assign(128, 0);
  if (!rawFont_.isValid()) {
    return;
  }
  QString printable;
  for (char16_t c = 0x20; c < 0x7F; ++c) {
    printable += QChar(c);
  }
  const QList<quint32> indexes = rawFont_.glyphIndexesForString(printable);
  if (indexes.size() != printable.size()) {
    rawFont_ = QRawFont();
    return;
  }
  for (qsizetype i = 0; i < indexes.size(); ++i) {
    glyphs_[static_cast<std::size_t>(0x20 + i)] = indexes[i];
  }
}

void CHexEditBase::drawRun(QPainter& painter, QPointF origin, const char* chars, std::size_t count) {
  if (count == 0) {
    return;
  }
  if (!rawFont_.isValid()) {
    painter.drawText(origin + QPointF(0, ascent_),
                     QString::fromLatin1(chars, static_cast<qsizetype>(count)));
    return;
  }
  // Glyphs go to exact cell positions, so the text stays on the grid that hit testing, the
  // caret and the selection use, whatever the font's fractional advance.
  QList<quint32> indexes(static_cast<qsizetype>(count));
  QList<QPointF> positions(static_cast<qsizetype>(count));
  for (std::size_t i = 0; i < count; ++i) {
    const auto qi = static_cast<qsizetype>(i);
    indexes[qi] = glyphs_[static_cast<unsigned char>(chars[i]) & 0x7F];
    positions[qi] = QPointF(static_cast<qreal>(i) * charWidth_, ascent_);
  }
  QGlyphRun run;
  run.setRawFont(rawFont_);
  run.setGlyphIndexes(indexes);
  run.setPositions(positions);
  painter.drawGlyphRun(origin, run);
}

void CHexEditBase::paintEvent(QPaintEvent*) {
  ensureLayout();
  const qreal dpr = viewport()->devicePixelRatioF();
  const QSize pixels = (QSizeF(viewport()->size()) * dpr).toSize();
  if (frame_.size() != pixels || frame_.devicePixelRatio() != dpr) {
    frame_ = QImage(pixels, QImage::Format_RGB32);
    frame_.setDevicePixelRatio(dpr);
  }
  {
    QPainter painter(&frame_);
    paintContent(painter);
  }
  QPainter screen(viewport());
  screen.drawImage(0, 0, frame_);
}

void CHexEditBase::paintContent(QPainter& painter) {
  const hexedit::Layout& l = layout_;
  painter.fillRect(QRect(QPoint(0, 0), viewport()->size()), colours_.controlBackground);
  painter.setClipRect(l.textArea.adjusted(-2, 0, 2, 0));
  if (data_.empty()) {
    return;
  }
  const int cw = l.charWidth;
  const int ch = l.charHeight;
  const std::size_t bpr = l.bytesPerRow;
  const int x0 = l.textArea.left() - offset_;
  const int top = l.textArea.top();
  const int height = l.textArea.height();
  const std::size_t rows = std::min(l.rowsShown, l.totalRows - std::min(topRow_, l.totalRows));
  const auto rowTop = [&](std::size_t r) { return static_cast<qreal>(top + static_cast<int>(r) * ch); };
  const auto rowBytes = [&](std::size_t r) {
    const std::size_t start = (topRow_ + r) * bpr;
    return std::min(bpr, data_.size() - start);
  };

  if (showAddress_) {
    const int digits = static_cast<int>(addressDigits_);
    painter.fillRect(QRect(x0 + l.addressX, top, digits * cw, height), colours_.addressBackground);
    painter.setPen(colours_.addressText);
    for (std::size_t r = 0; r < rows; ++r) {
      const std::string label = hexedit::rowLabel((topRow_ + r) * bpr, addressDigits_);
      drawRun(painter, QPointF(x0 + l.addressX, rowTop(r)), label.data(), label.size());
    }
  }

  painter.fillRect(QRect(x0 + l.hexX, top, l.hexTextWidth(), height), colours_.hexBackground);
  const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
  const QColor selectionBack =
      hasFocus() ? palette().color(group, QPalette::Highlight) : palette().color(group, QPalette::Button);
  const QColor selectionText = hasFocus() ? palette().color(group, QPalette::HighlightedText)
                                          : palette().color(group, QPalette::WindowText);
  std::string text;
  text.reserve(3 * bpr);
  for (std::size_t r = 0; r < rows; ++r) {
    const std::size_t start = (topRow_ + r) * bpr;
    const std::size_t count = rowBytes(r);
    text.clear();
    for (std::size_t i = 0; i < count; ++i) {
      if (i != 0) {
        text += ' ';
      }
      appendHexPair(text, data_[start + i]);
    }
    const QPointF origin(x0 + l.hexX, rowTop(r));
    painter.setPen(colours_.hexText);
    drawRun(painter, origin, text.data(), text.size());
    if (!selection_ || selection_->last < start || selection_->first >= start + count) {
      continue;
    }
    const std::size_t c1 = std::max(selection_->first, start) - start;
    const std::size_t c2 = std::min(selection_->last, start + count - 1) - start;
    const int left = x0 + l.hexX + cw * 3 * static_cast<int>(c1);
    const int right = x0 + l.hexX + cw * (3 * static_cast<int>(c2) + 2) + 1;
    const int y = top + static_cast<int>(r) * ch;
    painter.fillRect(QRect(left, y + 1, right - left, ch - 1), selectionBack);
    painter.setPen(selectionText);
    drawRun(painter, QPointF(left, rowTop(r)), text.data() + 3 * c1, 3 * (c2 - c1) + 2);
  }

  if (showAscii_) {
    painter.fillRect(QRect(x0 + l.asciiX, top, l.asciiWidth, height), colours_.asciiBackground);
    painter.setPen(colours_.asciiText);
    for (std::size_t r = 0; r < rows; ++r) {
      const std::size_t start = (topRow_ + r) * bpr;
      const std::size_t count = rowBytes(r);
      text.clear();
      for (std::size_t i = 0; i < count; ++i) {
        text += hexedit::asciiChar(data_[start + i]);
      }
      drawRun(painter, QPointF(x0 + l.asciiX, rowTop(r)), text.data(), text.size());
    }
  }

  if (caretRect_ && caretBlinkOn_) {
    painter.setCompositionMode(QPainter::CompositionMode_Difference);
    painter.fillRect(*caretRect_, Qt::white);
    painter.setCompositionMode(QPainter::CompositionMode_SourceOver);
  }
}
