#pragma once
// Hex editor control of the buffer pages: an address column, a hex column and an ASCII column
// over its own copy of a fixed-length block. Bytes are only ever overwritten, never inserted or
// deleted.
#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QRawFont>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "widgets/hexedit_logic.hpp"

class QMenu;

class CHexEditBase : public QAbstractScrollArea {
  Q_OBJECT

 public:
  // Clipboard format of the binary block beside the plain text.
  static constexpr const char* kBinaryFormat = "BinaryData";

  struct Colours {
    QColor addressBackground{221, 185, 217};
    QColor addressText{27, 27, 255};
    QColor asciiBackground{205, 205, 198};
    QColor asciiText{0, 0, 0};
    QColor hexText{0, 0, 0};
    QColor hexBackground{205, 205, 198};
    QColor controlBackground{205, 205, 198};
  };

  explicit CHexEditBase(QWidget* parent = nullptr);
  ~CHexEditBase() override;

  // Copies `length` bytes; null bytes empty the control. Clears the selection and puts the caret
  // on byte 0.
  void SetData(const std::uint8_t* bytes, std::size_t length);
  std::span<const std::uint8_t> GetData() const { return data_; }
  std::size_t GetDataLength() const { return data_.size(); }

  void SetAddressDigits(unsigned digits);
  unsigned GetAddressDigits() const { return addressDigits_; }
  void SetBytesPerRow(unsigned bytes);
  unsigned GetBytesPerRow() const { return bytesPerRow_; }
  void SetShowAddress(bool show);
  bool GetShowAddress() const { return showAddress_; }
  void SetShowAscii(bool show);
  bool GetShowAscii() const { return showAscii_; }
  virtual void SetReadOnly(bool readOnly, bool repaint = true);
  bool IsReadOnly() const { return readOnly_; }

  // Takes the font only when it is of fixed pitch; returns whether it was taken. A font given
  // through QWidget::setFont follows the same rule.
  bool SetHexFont(const QFont& font, bool repaint = true);
  QFont GetHexFont() const { return font_; }
  const Colours& GetColours() const { return colours_; }

  // Selection of the inclusive range between the two bytes, in either order.
  void SetSelection(std::size_t a, std::size_t b);
  void ClearSelection();
  std::optional<hexedit::Range> GetSelection() const { return selection_; }
  void SetCaret(std::size_t byte, bool highNibble = true);
  hexedit::Caret GetCaret() const { return caret_; }
  std::size_t GetTopRow() const { return topRow_; }
  int GetHorizontalOffset() const { return offset_; }
  // Current layout, recomputed first when it is out of date.
  const hexedit::Layout& GetLayout();
  // Where the caret block is; empty while it is not shown.
  std::optional<QRect> GetCaretRect() const { return caretRect_; }

  void Copy();
  // Returns whether any byte was overwritten.
  bool Paste();
  void SelectAll();

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 signals:
  // After every edit: typing, or a paste of at least one byte.
  void changed();

 protected:
  // Called with the context menu just before it is shown.
  virtual void PrepareContextMenu(QMenu* menu);

  bool event(QEvent* event) override;
  void changeEvent(QEvent* event) override;
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void focusInEvent(QFocusEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void timerEvent(QTimerEvent* event) override;
  void scrollContentsBy(int dx, int dy) override;

 private:
  void markLayoutDirty();
  void ensureLayout();
  void syncScrollBars();
  void placeCaret();
  void moveCaret(std::ptrdiff_t step, bool endHigh, bool extend);
  void scrollIntoView(hexedit::Range range);
  void setTopRow(std::size_t row);
  void typeDigit(int value);
  void dragTo(QPoint point);
  void stopAutoScroll();
  void paintContent(QPainter& painter);
  void drawRun(QPainter& painter, QPointF origin, const char* chars, std::size_t count);
  void updateFontCaches();

  Colours colours_;
  QFont font_;
  QRawFont rawFont_;
  // Glyph of each byte value as drawn, so that a row is one glyph run at exact cell positions.
  std::vector<quint32> glyphs_;
  int charWidth_ = 1;
  int charHeight_ = 1;
  int ascent_ = 0;

  std::vector<std::uint8_t> data_;
  unsigned bytesPerRow_ = 16;
  unsigned addressDigits_ = 8;
  bool showAddress_ = false;
  bool showAscii_ = false;
  bool readOnly_ = false;

  hexedit::Layout layout_;
  bool layoutDirty_ = true;
  bool syncingBars_ = false;
  std::size_t topRow_ = 0;
  int offset_ = 0;

  std::optional<hexedit::Range> selection_;
  hexedit::Caret caret_;
  std::size_t anchor_ = hexedit::kNone;
  std::size_t dragEnd_ = hexedit::kNone;
  QRect dragRect_;
  QPoint autoScrollPoint_;
  hexedit::AutoScroll autoScroll_;
  QBasicTimer autoScrollTimer_;
  hexedit::WheelSteps wheelSteps_;

  std::optional<QRect> caretRect_;
  bool caretBlinkOn_ = true;
  QBasicTimer blinkTimer_;

  QImage frame_;
};
