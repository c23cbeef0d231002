#include "widgets/hexeditbase.hpp"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStyleHints>
#include <QWheelEvent>

#include <algorithm>
#include <string>

#include "base/texts.hpp"

namespace {

using hexedit::Caret;
using hexedit::kNone;
using hexedit::Range;

QFont defaultFixedFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  if (!QFontInfo(font).fixedPitch()) {
    font.setFamily(QStringLiteral("monospace"));
    font.setStyleHint(QFont::TypeWriter);
    font.setFixedPitch(true);
  }
  return font;
}

QString uiText(const char* name) { return QString::fromStdString(base::text(name)); }

}  // namespace

CHexEditBase::CHexEditBase(QWidget* parent) : QAbstractScrollArea(parent), font_(defaultFixedFont()) {
  updateFontCaches();
  setFocusPolicy(Qt::StrongFocus);
  setAttribute(Qt::WA_InputMethodEnabled, false);
  // Every pixel is painted from the off-screen frame, so the background is never erased first.
  viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
  viewport()->setAutoFillBackground(false);
  viewport()->setCursor(Qt::IBeamCursor);
}

CHexEditBase::~CHexEditBase() = default;

void CHexEditBase::SetData(const std::uint8_t* bytes, std::size_t length) {
  anchor_ = kNone;
  dragEnd_ = kNone;
  selection_.reset();
  stopAutoScroll();
  if (bytes != nullptr && length != 0) {
    data_.assign(bytes, bytes + length);
  } else {
    data_.clear();
  }
  markLayoutDirty();
  caret_ = Caret{};
  placeCaret();
  viewport()->update();
}

void CHexEditBase::SetAddressDigits(unsigned digits) {
  addressDigits_ = digits;
  markLayoutDirty();
  placeCaret();
  viewport()->update();
}

void CHexEditBase::SetBytesPerRow(unsigned bytes) {
  bytesPerRow_ = bytes;
  markLayoutDirty();
  placeCaret();
  viewport()->update();
}

void CHexEditBase::SetShowAddress(bool show) {
  showAddress_ = show;
  markLayoutDirty();
  placeCaret();
  viewport()->update();
}

void CHexEditBase::SetShowAscii(bool show) {
  showAscii_ = show;
  markLayoutDirty();
  placeCaret();
  viewport()->update();
}

void CHexEditBase::SetReadOnly(bool readOnly, bool repaint) {
  readOnly_ = readOnly;
  if (repaint) {
    viewport()->update();
  }
}

bool CHexEditBase::SetHexFont(const QFont& font, bool repaint) {
  if (!QFontInfo(font).fixedPitch()) {
    return false;
  }
  font_ = font;
  updateFontCaches();
  markLayoutDirty();
  placeCaret();
  if (repaint) {
    viewport()->update();
  }
  return true;
}

void CHexEditBase::SetSelection(std::size_t a, std::size_t b) {
  if (data_.empty()) {
    selection_.reset();
  } else {
    const std::size_t last = data_.size() - 1;
    selection_ = hexedit::rangeBetween(std::min(a, last), std::min(b, last));
  }
  viewport()->update();
}

void CHexEditBase::ClearSelection() {
  selection_.reset();
  viewport()->update();
}

void CHexEditBase::SetCaret(std::size_t byte, bool highNibble) {
  if (data_.empty()) {
    return;
  }
  caret_ = byte < data_.size() ? Caret{byte, highNibble} : Caret{data_.size() - 1, false};
  scrollIntoView({caret_.byte, caret_.byte});
  placeCaret();
}

const hexedit::Layout& CHexEditBase::GetLayout() {
  ensureLayout();
  return layout_;
}

void CHexEditBase::Copy() {
  if (!selection_ || data_.empty()) {
    return;
  }
  ensureLayout();
  const std::string text = hexedit::copyText(data_, *selection_, layout_.bytesPerRow);
  const std::vector<std::uint8_t> block = hexedit::binaryBlock(data_, *selection_);
  auto* mime = new QMimeData;
  mime->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
  mime->setData(QString::fromLatin1(kBinaryFormat),
                QByteArray(reinterpret_cast<const char*>(block.data()),
                           static_cast<qsizetype>(block.size())));
  QGuiApplication::clipboard()->setMimeData(mime);
}

bool CHexEditBase::Paste() {
  if (readOnly_ || data_.empty()) {
    return false;
  }
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  if (mime == nullptr || !mime->hasFormat(QString::fromLatin1(kBinaryFormat))) {
    return false;
  }
  const QByteArray raw = mime->data(QString::fromLatin1(kBinaryFormat));
  const auto payload = hexedit::blockPayload(
      {reinterpret_cast<const std::uint8_t*>(raw.constData()), static_cast<std::size_t>(raw.size())});
  if (!payload) {
    return false;
  }
  const std::size_t dest = selection_ ? selection_->first : caret_.byte;
  const std::size_t count = hexedit::pasteCount(dest, payload->size(), data_.size());
  if (count == 0) {
    return false;
  }
  std::copy_n(payload->begin(), count, data_.begin() + static_cast<std::ptrdiff_t>(dest));
  const Range pasted{dest, dest + count - 1};
  selection_ = pasted;
  scrollIntoView(pasted);
  caret_ = Caret{pasted.last, false};
  placeCaret();
  viewport()->update();
  emit changed();
  return true;
}

void CHexEditBase::SelectAll() {
  if (data_.empty()) {
    return;
  }
  const Range all{0, data_.size() - 1};
  if (selection_ != all) {
    selection_ = all;
    viewport()->update();
  }
}

QSize CHexEditBase::sizeHint() const {
  hexedit::LayoutInput in{QRect(0, 0, 1 << 20, 0), charWidth_, charHeight_, data_.size(),
                          bytesPerRow_, addressDigits_, showAddress_, showAscii_};
  const hexedit::Layout l = hexedit::computeLayout(in);
  const int frame = 2 * frameWidth();
  const int bar = verticalScrollBar()->sizeHint().width();
  return {l.contentWidth + 2 * hexedit::kInset + frame + bar,
          16 * charHeight_ + 2 * hexedit::kInset + frame};
}

QSize CHexEditBase::minimumSizeHint() const {
  return {10 * charWidth_ + 2 * hexedit::kInset, 3 * charHeight_ + 2 * hexedit::kInset};
}

void CHexEditBase::PrepareContextMenu(QMenu*) {}

bool CHexEditBase::event(QEvent* event) {
  if (event->type() == QEvent::ShortcutOverride) {
    // The editor's own Copy, Paste and Select all win over window-wide shortcuts while it has
    // the focus.
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Copy) || key->matches(QKeySequence::Paste) ||
        key->matches(QKeySequence::SelectAll)) {
      key->accept();
      return true;
    }
  }
  return QAbstractScrollArea::event(event);
}

void CHexEditBase::changeEvent(QEvent* event) {
  if (event->type() == QEvent::FontChange) {
    SetHexFont(font());
  }
  QAbstractScrollArea::changeEvent(event);
}

void CHexEditBase::resizeEvent(QResizeEvent* event) {
  QAbstractScrollArea::resizeEvent(event);
  markLayoutDirty();
  placeCaret();
}

void CHexEditBase::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::SelectAll)) {
    SelectAll();
    return;
  }
  if (event->matches(QKeySequence::Copy)) {
    Copy();
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    Paste();
    return;
  }
  if (event->key() == Qt::Key_Menu) {
    event->ignore();  // becomes the keyboard context menu
    return;
  }
  // The editor keeps every other key, so Enter or Escape typed into it never close a dialog.
  event->accept();
  if (data_.empty()) {
    return;
  }
  ensureLayout();
  const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
  const auto bpr = static_cast<std::ptrdiff_t>(layout_.bytesPerRow);
  const auto page = static_cast<std::ptrdiff_t>(std::max<std::size_t>(layout_.rowsShown, 2) - 1) * bpr;
  const auto caret = static_cast<std::ptrdiff_t>(caret_.byte);
  switch (event->key()) {
    case Qt::Key_Left:
      moveCaret(caret_.high ? -1 : 0, !caret_.high, shift);
      return;
    case Qt::Key_Right:
      moveCaret(caret_.high ? 0 : 1, !caret_.high, shift);
      return;
    case Qt::Key_Up:
      moveCaret(-bpr, caret_.high, shift);
      return;
    case Qt::Key_Down:
      moveCaret(bpr, caret_.high, shift);
      return;
    case Qt::Key_PageUp:
      moveCaret(-page, caret_.high, shift);
      return;
    case Qt::Key_PageDown:
      moveCaret(page, caret_.high, shift);
      return;
    case Qt::Key_Home:
      moveCaret(-caret, true, shift);
      return;
    case Qt::Key_End:
      moveCaret(static_cast<std::ptrdiff_t>(data_.size()) - 1 - caret, false, shift);
      return;
    default:
      break;
  }
  const QString text = event->text();
  const bool chord = (event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) != 0;
  if (readOnly_ || chord || text.size() != 1 || text[0].unicode() > 0xFF) {
    return;
  }
  const int value = hexedit::hexDigitValue(text[0].unicode());
  if (value >= 0) {
    typeDigit(value);
  }
}

void CHexEditBase::typeDigit(int value) {
  std::uint8_t& byte = data_[caret_.byte];
  const auto digit = static_cast<std::uint8_t>(value);
  // Typing never extends a selection, even when Shift is held for an upper-case digit.
  if (caret_.high) {
    byte = static_cast<std::uint8_t>((byte & 0x0F) | (digit << 4));
    moveCaret(0, false, false);
  } else {
    byte = static_cast<std::uint8_t>((byte & 0xF0) | digit);
    moveCaret(1, true, false);
  }
  emit changed();
}

void CHexEditBase::moveCaret(std::ptrdiff_t step, bool endHigh, bool extend) {
  if (extend) {
    if (anchor_ == kNone) {
      anchor_ = caret_.byte;
    }
  } else {
    anchor_ = kNone;
    dragEnd_ = kNone;
    selection_.reset();
  }
  const Caret target = hexedit::stepCaret(caret_, step, endHigh, data_.size());
  if (extend) {
    selection_ = hexedit::rangeBetween(anchor_, target.byte);
  }
  scrollIntoView({target.byte, target.byte});
  caret_ = target;
  placeCaret();
}

void CHexEditBase::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mousePressEvent(event);
    return;
  }
  setFocus(Qt::MouseFocusReason);
  if (data_.empty()) {
    return;
  }
  ensureLayout();
  const QPoint point = event->position().toPoint();
  if (const auto hit = hexedit::hitTest(layout_, point, topRow_, offset_, data_.size())) {
    caret_ = *hit;
  }
  const int drag = std::max(1, QGuiApplication::styleHints()->startDragDistance());
  dragRect_ = QRect(point.x() - drag / 2, point.y() - drag / 2, drag, drag);
  selection_.reset();
  anchor_ = caret_.byte;
  dragEnd_ = kNone;
  placeCaret();
  viewport()->update();
}

void CHexEditBase::mouseMoveEvent(QMouseEvent* event) {
  if (!event->buttons().testFlag(Qt::LeftButton) || anchor_ == kNone || data_.empty()) {
    return;
  }
  const QPoint point = event->position().toPoint();
  if (!dragRect_.isNull()) {
    if (dragRect_.contains(point)) {
      return;
    }
    dragRect_ = QRect();
  }
  ensureLayout();
  autoScroll_.aim(point.y(), layout_.textArea);
  autoScrollPoint_ = point;
  if (!autoScroll_.active()) {
    autoScrollTimer_.stop();
  } else if (!autoScrollTimer_.isActive()) {
    autoScrollTimer_.start(hexedit::AutoScroll::kTickMs, this);
  }
  dragTo(point);
}

void CHexEditBase::dragTo(QPoint point) {
  ensureLayout();
  if (const auto hit = hexedit::hitTest(layout_, point, topRow_, offset_, data_.size())) {
    caret_ = *hit;
    dragEnd_ = caret_.byte;
    selection_ = hexedit::rangeBetween(anchor_, dragEnd_);
  }
  placeCaret();
  viewport()->update();
}

void CHexEditBase::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mouseReleaseEvent(event);
    return;
  }
  stopAutoScroll();
  dragRect_ = QRect();
  viewport()->update();
}

void CHexEditBase::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QAbstractScrollArea::mouseDoubleClickEvent(event);
    return;
  }
  setFocus(Qt::MouseFocusReason);
  if (data_.empty()) {
    return;
  }
  ensureLayout();
  if (const auto hit =
          hexedit::hitTest(layout_, event->position().toPoint(), topRow_, offset_, data_.size())) {
    caret_ = *hit;
  }
  selection_ = Range{caret_.byte, caret_.byte};
  placeCaret();
  viewport()->update();
}

void CHexEditBase::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  if (delta == 0) {
    QAbstractScrollArea::wheelEvent(event);  // a sideways wheel moves the horizontal bar
    return;
  }
  event->accept();
  const int rows = wheelSteps_.rows(delta);
  const auto target = static_cast<std::ptrdiff_t>(topRow_) + rows;
  setTopRow(static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, target)));
}

void CHexEditBase::focusInEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusInEvent(event);
  placeCaret();
  viewport()->update();
}

void CHexEditBase::focusOutEvent(QFocusEvent* event) {
  QAbstractScrollArea::focusOutEvent(event);
  stopAutoScroll();
  placeCaret();
  viewport()->update();
}

void CHexEditBase::contextMenuEvent(QContextMenuEvent* event) {
  ensureLayout();
  QPoint point(hexedit::kInset, hexedit::kInset);
  if (event->reason() != QContextMenuEvent::Keyboard) {
    point = event->pos();
    const auto hit = hexedit::hitTest(layout_, point, topRow_, offset_, data_.size());
    if (hit && !(selection_ && selection_->contains(hit->byte))) {
      selection_.reset();
      caret_ = Caret{hit->byte, true};
      placeCaret();
      viewport()->update();
    }
  }
  QMenu menu(this);
  QAction* copy = menu.addAction(uiText("hexedit.copy"));
  copy->setEnabled(selection_.has_value());
  QAction* paste = menu.addAction(uiText("hexedit.paste"));
  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  paste->setEnabled(!readOnly_ && !data_.empty() && mime != nullptr &&
                    mime->hasFormat(QString::fromLatin1(kBinaryFormat)));
  PrepareContextMenu(&menu);
  const QAction* chosen = menu.exec(viewport()->mapToGlobal(point));
  if (chosen == copy) {
    Copy();
  } else if (chosen == paste) {
    Paste();
  }
}

void CHexEditBase::timerEvent(QTimerEvent* event) {
  if (event->timerId() == autoScrollTimer_.timerId()) {
    if (autoScroll_.tick()) {
      const auto target = static_cast<std::ptrdiff_t>(topRow_) + autoScroll_.direction();
      setTopRow(static_cast<std::size_t>(std::max<std::ptrdiff_t>(0, target)));
      dragTo(autoScrollPoint_);
    }
    return;
  }
  if (event->timerId() == blinkTimer_.timerId()) {
    caretBlinkOn_ = !caretBlinkOn_;
    if (caretRect_) {
      viewport()->update(*caretRect_);
    }
    return;
  }
  QAbstractScrollArea::timerEvent(event);
}

void CHexEditBase::scrollContentsBy(int, int) {
  if (syncingBars_) {
    return;
  }
  const auto top = static_cast<std::size_t>(std::max(0, verticalScrollBar()->value()));
  const int offset = std::max(0, horizontalScrollBar()->value());
  if (top == topRow_ && offset == offset_) {
    return;
  }
  topRow_ = top;
  offset_ = offset;
  placeCaret();
  viewport()->update();
}

void CHexEditBase::stopAutoScroll() {
  autoScroll_.stop();
  autoScrollTimer_.stop();
}

void CHexEditBase::setTopRow(std::size_t row) {
  ensureLayout();
  row = std::min(row, layout_.largestTopRow);
  if (row != topRow_) {
    topRow_ = row;
    syncScrollBars();
    viewport()->update();
  }
  placeCaret();
}

void CHexEditBase::scrollIntoView(Range range) {
  ensureLayout();
  const std::size_t top = hexedit::topRowShowing(layout_, range, topRow_);
  const int offset = hexedit::offsetShowing(layout_, range, offset_);
  if (top != topRow_ || offset != offset_) {
    topRow_ = top;
    offset_ = offset;
    syncScrollBars();
  }
  viewport()->update();
}

void CHexEditBase::markLayoutDirty() { layoutDirty_ = true; }

void CHexEditBase::ensureLayout() {
  if (!layoutDirty_) {
    return;
  }
  layoutDirty_ = false;
  layout_ = hexedit::computeLayout({viewport()->rect(), charWidth_, charHeight_, data_.size(),
                                    bytesPerRow_, addressDigits_, showAddress_, showAscii_});
  topRow_ = std::min(topRow_, layout_.largestTopRow);
  offset_ = std::min(offset_, layout_.largestOffset);
  syncScrollBars();
}

void CHexEditBase::syncScrollBars() {
  // Setting ranges and values calls scrollContentsBy, which must not feed them back.
  const QScopedValueRollback guard(syncingBars_, true);
  const auto& l = layout_;
  QScrollBar* v = verticalScrollBar();
  v->setRange(0, static_cast<int>(l.largestTopRow));
  v->setPageStep(static_cast<int>(std::max<std::size_t>(l.fullRows, 1)));
  v->setSingleStep(1);
  v->setValue(static_cast<int>(topRow_));
  QScrollBar* h = horizontalScrollBar();
  h->setRange(0, l.largestOffset);
  h->setPageStep(std::max(l.textArea.width(), 1));
  h->setSingleStep(l.charWidth);
  h->setValue(offset_);
}

void CHexEditBase::placeCaret() {
  ensureLayout();
  std::optional<QRect> rect;
  if (!data_.empty() && hasFocus()) {
    rect = hexedit::caretRect(layout_, caret_, topRow_, offset_);
  }
  if (caretRect_) {
    viewport()->update(*caretRect_);
  }
  caretRect_ = rect;
  caretBlinkOn_ = true;
  const int flash = QGuiApplication::styleHints()->cursorFlashTime();
  if (caretRect_) {
    viewport()->update(*caretRect_);
    if (flash > 0) {
      blinkTimer_.start(flash / 2, this);
    }
  } else {
    blinkTimer_.stop();
  }
}
