#include "widgets/hexeditbase.hpp"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QMimeData>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <vector>

#include "base/texts.hpp"

namespace {

constexpr std::size_t kBufferLength = 0x20000;

void putBlock(const std::vector<std::uint8_t>& block) {
  auto* mime = new QMimeData;
  mime->setData(QString::fromLatin1(CHexEditBase::kBinaryFormat),
                QByteArray(reinterpret_cast<const char*>(block.data()),
                           static_cast<qsizetype>(block.size())));
  QGuiApplication::clipboard()->setMimeData(mime);
}

// Records what the context menu offers, then closes it so that exec() returns.
class MenuProbe : public CHexEditBase {
 public:
  struct Item {
    QString text;
    bool enabled;
  };
  std::vector<Item> items;

 protected:
  void PrepareContextMenu(QMenu* menu) override {
    items.clear();
    for (const QAction* action : menu->actions()) {
      items.push_back({action->text(), action->isEnabled()});
    }
    QTimer::singleShot(0, menu, &QMenu::close);
  }
};

// The editor as a buffer page sets it up, shown with the focus.
class HexEdit : public ::testing::Test {
 protected:
  void SetUp() override {
    base::setThreadLanguage(base::kLangEnglish);
    QGuiApplication::clipboard()->clear();
    editor.resize(640, 380);
    editor.SetAddressDigits(5);
    editor.SetShowAddress(true);
    editor.SetBytesPerRow(16);
    editor.SetShowAscii(true);
    fill(kBufferLength, 0xFF);
    editor.show();
    editor.activateWindow();
    editor.setFocus();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&editor));
    ASSERT_TRUE(editor.hasFocus());
  }

  void fill(std::size_t length, std::uint8_t value) {
    const std::vector<std::uint8_t> bytes(length, value);
    editor.SetData(bytes.data(), bytes.size());
  }

  std::uint8_t at(std::size_t i) { return editor.GetData()[i]; }

  // A point inside the digit of `byte` on the given nibble, in viewport coordinates.
  QPoint digitPoint(std::size_t byte, bool high) {
    const hexedit::Layout& l = editor.GetLayout();
    const int column = static_cast<int>(byte % l.bytesPerRow);
    const auto row = static_cast<int>(byte / l.bytesPerRow - editor.GetTopRow());
    return {l.textArea.left() + l.hexX + l.charWidth * (3 * column + (high ? 0 : 1)) + 1 -
                editor.GetHorizontalOffset(),
            l.textArea.top() + row * l.charHeight + l.charHeight / 2};
  }

  void mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held,
             Qt::MouseButton button = Qt::LeftButton) {
    QMouseEvent event(type, at, editor.viewport()->mapToGlobal(at), button, held,
                      Qt::NoModifier);
    QApplication::sendEvent(editor.viewport(), &event);
  }

  void wheel(int delta) {
    const QPoint at(50, 50);
    QWheelEvent event(at, editor.viewport()->mapToGlobal(at), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(editor.viewport(), &event);
  }

  void key(Qt::Key k, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QTest::keyClick(&editor, k, modifiers);
  }

  QColor pixelAt(QPoint p) { return editor.viewport()->grab().toImage().pixelColor(p); }

  MenuProbe editor;
};

TEST_F(HexEdit, TypingReplacesNibblesAndAnnouncesEachEdit) {
  QSignalSpy changed(&editor, &CHexEditBase::changed);
  QTest::keyClicks(&editor, "41");
  EXPECT_EQ(at(0), 0x41);
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{1, true}));
  EXPECT_EQ(changed.count(), 2);

  const std::size_t last = kBufferLength - 1;
  editor.SetCaret(last, true);
  QTest::keyClicks(&editor, "4a");
  EXPECT_EQ(at(last), 0x4A);
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{last, false}));
  QTest::keyClick(&editor, '7');
  EXPECT_EQ(at(last), 0x47);

  // Neither other characters nor a read-only control take input.
  editor.SetCaret(5, true);
  QTest::keyClicks(&editor, "g ");
  editor.SetReadOnly(true);
  QTest::keyClicks(&editor, "12");
  EXPECT_EQ(at(5), 0xFF);
  EXPECT_EQ(changed.count(), 5);
}

TEST_F(HexEdit, UpperCaseDigitsTypedWithShiftSelectNothing) {
  QTest::keyClick(&editor, 'A', Qt::ShiftModifier);
  QTest::keyClick(&editor, 'B', Qt::ShiftModifier);
  EXPECT_EQ(at(0), 0xAB);
  EXPECT_FALSE(editor.GetSelection().has_value());
}

TEST_F(HexEdit, ArrowsStopAtBothEndsAndEndShowsTheLastRow) {
  key(Qt::Key_Left);
  key(Qt::Key_Up);
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{0, true}));
  EXPECT_EQ(editor.GetTopRow(), 0u);

  key(Qt::Key_End);
  const std::size_t last = kBufferLength - 1;
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{last, false}));
  key(Qt::Key_Right);
  key(Qt::Key_Down);
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{last, false}));

  const hexedit::Layout& l = editor.GetLayout();
  ASSERT_GT(l.fullRows, 0u);
  EXPECT_EQ(editor.GetTopRow(), l.largestTopRow);
  EXPECT_EQ(editor.verticalScrollBar()->value(), static_cast<int>(l.largestTopRow));
  const std::size_t lastShownRow = editor.GetTopRow() + l.fullRows - 1;
  EXPECT_EQ(hexedit::rowLabel(lastShownRow * l.bytesPerRow, editor.GetAddressDigits()), "1FFF0");

  key(Qt::Key_Home);
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{0, true}));
  EXPECT_EQ(editor.GetTopRow(), 0u);
}

TEST_F(HexEdit, LeftAndRightWalkTheNibbles) {
  editor.SetCaret(3, true);
  key(Qt::Key_Right);
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{3, false}));
  key(Qt::Key_Right);
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{4, true}));
  key(Qt::Key_Left);
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{3, false}));
  key(Qt::Key_PageDown);
  const std::size_t page = (editor.GetLayout().rowsShown - 1) * 16;
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{3 + page, false}));
}

TEST_F(HexEdit, ShiftWithArrowsSelectsFromTheAnchor) {
  editor.SetCaret(2, true);
  key(Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{2, 2}));
  key(Qt::Key_Right, Qt::ShiftModifier);
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{2, 3}));
  key(Qt::Key_Down, Qt::ShiftModifier);
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{2, 19}));
  key(Qt::Key_Up, Qt::ShiftModifier);
  key(Qt::Key_Up, Qt::ShiftModifier);
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{0, 2}));
  key(Qt::Key_Left);
  EXPECT_FALSE(editor.GetSelection().has_value());
}

TEST_F(HexEdit, MouseDragSelectsOnceOutOfTheDeadZone) {
  const QPoint start = digitPoint(1, false);
  mouse(QEvent::MouseButtonPress, start, Qt::LeftButton);
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{1, false}));

  // A hand that trembles while clicking selects nothing.
  mouse(QEvent::MouseMove, start + QPoint(1, 1), Qt::LeftButton);
  EXPECT_FALSE(editor.GetSelection().has_value());

  mouse(QEvent::MouseMove, digitPoint(0x25, true), Qt::LeftButton);
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{1, 0x25}));
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{0x25, true}));
  // Out of the dead zone once, even small moves count.
  mouse(QEvent::MouseMove, digitPoint(1, true), Qt::LeftButton);
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{1, 1}));
  mouse(QEvent::MouseButtonRelease, digitPoint(1, true), Qt::NoButton);

  // A move without the button held does nothing; a new press clears the selection.
  mouse(QEvent::MouseMove, digitPoint(9, true), Qt::NoButton);
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{1, 1}));
  mouse(QEvent::MouseButtonPress, digitPoint(9, true), Qt::LeftButton);
  EXPECT_FALSE(editor.GetSelection().has_value());
  mouse(QEvent::MouseButtonRelease, digitPoint(9, true), Qt::NoButton);
}

TEST_F(HexEdit, DraggingBelowScrollsUntilReleased) {
  mouse(QEvent::MouseButtonPress, digitPoint(0, true), Qt::LeftButton);
  const hexedit::Layout& l = editor.GetLayout();
  const QPoint below(digitPoint(0, true).x(), l.textArea.bottom() + 60);  // fastest: 1 tick a row
  mouse(QEvent::MouseMove, below, Qt::LeftButton);
  // A few ticks; waited for rather than timed, so a loaded machine does not fail it.
  (void)QTest::qWaitFor([&] { return editor.GetTopRow() > 2; }, 5000);
  const std::size_t top = editor.GetTopRow();
  EXPECT_GT(top, 2u);
  ASSERT_TRUE(editor.GetSelection().has_value());
  EXPECT_EQ(editor.GetSelection()->first, 0u);
  EXPECT_EQ(editor.GetSelection()->last / 16, top + l.rowsShown - 1);

  mouse(QEvent::MouseButtonRelease, below, Qt::NoButton);
  const std::size_t stopped = editor.GetTopRow();
  QTest::qWait(30);
  EXPECT_EQ(editor.GetTopRow(), stopped);
}

TEST_F(HexEdit, DoubleClickSelectsTheByte) {
  const QPoint p = digitPoint(0x33, true);
  mouse(QEvent::MouseButtonPress, p, Qt::LeftButton);
  mouse(QEvent::MouseButtonRelease, p, Qt::NoButton);
  mouse(QEvent::MouseButtonDblClick, p, Qt::LeftButton);
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{0x33, 0x33}));
}

TEST_F(HexEdit, CopyGivesTextAndBinaryBlock) {
  std::vector<std::uint8_t> bytes(0x40);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    bytes[i] = static_cast<std::uint8_t>(0xA0 + i);
  }
  editor.SetData(bytes.data(), bytes.size());
  editor.SetSelection(0x21, 0x0E);
  key(Qt::Key_C, Qt::ControlModifier);

  const QMimeData* mime = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(mime, nullptr);
  EXPECT_EQ(mime->text().toStdString(),
            hexedit::copyText(bytes, {0x0E, 0x21}, 16));
  const QByteArray block = mime->data(QString::fromLatin1(CHexEditBase::kBinaryFormat));
  ASSERT_EQ(block.size(), 4 + 20);
  EXPECT_EQ(block.left(4), QByteArray("\x14\x00\x00\x00", 4));
  EXPECT_EQ(static_cast<std::uint8_t>(block[4]), 0xAE);
  EXPECT_EQ(static_cast<std::uint8_t>(block[23]), 0xC1);

  // Without a selection Copy leaves the clipboard alone.
  key(Qt::Key_Left);
  QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
  editor.Copy();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
}

TEST_F(HexEdit, PasteNearTheEndOverwritesOnlyWhatFits) {
  QSignalSpy changed(&editor, &CHexEditBase::changed);
  putBlock({10, 0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9});
  const std::size_t dest = kBufferLength - 4;
  editor.SetCaret(dest, true);
  key(Qt::Key_V, Qt::ControlModifier);

  EXPECT_EQ(editor.GetDataLength(), kBufferLength);
  EXPECT_EQ(at(dest - 1), 0xFF);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(at(dest + i), i);
  }
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{dest, kBufferLength - 1}));
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{kBufferLength - 1, false}));
  EXPECT_EQ(changed.count(), 1);
}

TEST_F(HexEdit, PasteGoesToTheSelectionAndTrustsOnlyBytesPresent) {
  QSignalSpy changed(&editor, &CHexEditBase::changed);
  editor.SetCaret(0x100);
  editor.SetSelection(0x40, 0x50);
  putBlock({200, 0, 0, 0, 0x11, 0x22, 0x33});  // claims 200 bytes, holds 3
  EXPECT_TRUE(editor.Paste());
  EXPECT_EQ(at(0x40), 0x11);
  EXPECT_EQ(at(0x42), 0x33);
  EXPECT_EQ(at(0x43), 0xFF);
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{0x40, 0x42}));

  putBlock({0, 0, 0, 0});  // nothing to paste
  EXPECT_FALSE(editor.Paste());
  QGuiApplication::clipboard()->setText(QStringLiteral("41 42"));  // only the block is taken
  EXPECT_FALSE(editor.Paste());
  putBlock({1, 0, 0, 0, 0x99});
  editor.SetReadOnly(true);
  EXPECT_FALSE(editor.Paste());
  EXPECT_EQ(changed.count(), 1);
}

TEST_F(HexEdit, CopyThenPasteElsewhereCopiesTheBytes) {
  std::vector<std::uint8_t> bytes(0x100, 0);
  bytes[0x10] = 0xDE;
  bytes[0x11] = 0xAD;
  editor.SetData(bytes.data(), bytes.size());
  editor.SetSelection(0x10, 0x11);
  editor.Copy();
  editor.ClearSelection();
  editor.SetCaret(0x80);
  ASSERT_TRUE(editor.Paste());
  EXPECT_EQ(at(0x80), 0xDE);
  EXPECT_EQ(at(0x81), 0xAD);
}

TEST_F(HexEdit, SelectAllTakesTheWholeBlock) {
  key(Qt::Key_A, Qt::ControlModifier);
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{0, kBufferLength - 1}));
}

TEST_F(HexEdit, WheelMovesWholeNotchesOnly) {
  wheel(-60);
  EXPECT_EQ(editor.GetTopRow(), 0u);
  wheel(-60);
  EXPECT_EQ(editor.GetTopRow(), 1u);
  wheel(-120 * 3);
  EXPECT_EQ(editor.GetTopRow(), 4u);
  wheel(120 * 10);
  EXPECT_EQ(editor.GetTopRow(), 0u);
  EXPECT_EQ(editor.verticalScrollBar()->value(), 0);
}

TEST_F(HexEdit, ScrollBarsFollowTheData) {
  const hexedit::Layout& l = editor.GetLayout();
  EXPECT_EQ(editor.verticalScrollBar()->maximum(), static_cast<int>(l.largestTopRow));
  EXPECT_EQ(editor.verticalScrollBar()->pageStep(), static_cast<int>(l.fullRows));
  editor.verticalScrollBar()->setValue(100);
  EXPECT_EQ(editor.GetTopRow(), 100u);
  EXPECT_FALSE(editor.GetCaretRect().has_value());  // byte 0 has scrolled out of view

  fill(16, 0xFF);
  QApplication::processEvents();
  EXPECT_EQ(editor.GetTopRow(), 0u);
  EXPECT_EQ(editor.verticalScrollBar()->maximum(), 0);
  EXPECT_FALSE(editor.verticalScrollBar()->isVisible());

  // A narrow control scrolls sideways to keep the caret in view.
  editor.resize(220, 380);
  QApplication::processEvents();
  EXPECT_GT(editor.horizontalScrollBar()->maximum(), 0);
  key(Qt::Key_End);
  EXPECT_GT(editor.GetHorizontalOffset(), 0);
  const auto caret = editor.GetCaretRect();
  ASSERT_TRUE(caret.has_value());
  EXPECT_LE(caret->right(), editor.GetLayout().textArea.right());
}

TEST_F(HexEdit, FixedPitchFontsOnly) {
  const QFont before = editor.GetHexFont();
  const int widthBefore = editor.GetLayout().charWidth;
  EXPECT_FALSE(editor.SetHexFont(QFont(QStringLiteral("DejaVu Sans"), 20)));
  EXPECT_EQ(editor.GetHexFont(), before);
  editor.setFont(QFont(QStringLiteral("DejaVu Serif"), 24));
  EXPECT_EQ(editor.GetHexFont(), before);
  EXPECT_EQ(editor.GetLayout().charWidth, widthBefore);

  const QFont mono(QStringLiteral("DejaVu Sans Mono"), 20);
  EXPECT_TRUE(editor.SetHexFont(mono));
  EXPECT_EQ(editor.GetHexFont(), mono);
  EXPECT_GT(editor.GetLayout().charWidth, widthBefore);
}

TEST_F(HexEdit, SelectionColoursFollowTheFocus) {
  editor.SetSelection(0, 3);
  const hexedit::Layout& l = editor.GetLayout();
  // The blank between the first two selected bytes shows only the selection's background.
  const QPoint blank(l.textArea.left() + l.hexX + 2 * l.charWidth + l.charWidth / 2,
                     l.textArea.top() + l.charHeight / 2);
  const QPoint unselected(blank.x() + 12 * l.charWidth, blank.y());
  EXPECT_EQ(pixelAt(blank), editor.palette().color(QPalette::Active, QPalette::Highlight));
  EXPECT_EQ(pixelAt(unselected), editor.GetColours().hexBackground);
  ASSERT_TRUE(editor.GetCaretRect().has_value());

  editor.clearFocus();
  EXPECT_EQ(pixelAt(blank), editor.palette().color(QPalette::Inactive, QPalette::Button));
  EXPECT_FALSE(editor.GetCaretRect().has_value());
}

TEST_F(HexEdit, ContextMenuOffersWhatCanBeDone) {
  QContextMenuEvent keyboard(QContextMenuEvent::Keyboard, QPoint(5, 5),
                             editor.mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(&editor, &keyboard);
  ASSERT_EQ(editor.items.size(), 2u);
  EXPECT_EQ(editor.items[0].text, QStringLiteral("Copy"));
  EXPECT_FALSE(editor.items[0].enabled);
  EXPECT_EQ(editor.items[1].text, QStringLiteral("Paste"));
  EXPECT_FALSE(editor.items[1].enabled);

  base::setThreadLanguage(base::kLangChinese);
  putBlock({1, 0, 0, 0, 0x42});
  editor.SetSelection(0x20, 0x2F);
  QApplication::sendEvent(&editor, &keyboard);
  ASSERT_EQ(editor.items.size(), 2u);
  EXPECT_EQ(editor.items[0].text, QStringLiteral("复制"));
  EXPECT_TRUE(editor.items[0].enabled);
  EXPECT_EQ(editor.items[1].text, QStringLiteral("粘贴"));
  EXPECT_TRUE(editor.items[1].enabled);

  editor.SetReadOnly(true);
  QApplication::sendEvent(&editor, &keyboard);
  EXPECT_FALSE(editor.items[1].enabled);
}

TEST_F(HexEdit, RightClickKeepsASelectionItHits) {
  editor.SetSelection(0x20, 0x2F);
  const auto rightClick = [this](QPoint p) {
    QContextMenuEvent event(QContextMenuEvent::Mouse, p, editor.viewport()->mapToGlobal(p));
    QApplication::sendEvent(editor.viewport(), &event);
  };
  rightClick(digitPoint(0x25, false));
  EXPECT_EQ(editor.GetSelection(), (hexedit::Range{0x20, 0x2F}));

  rightClick(digitPoint(0x45, false));
  EXPECT_FALSE(editor.GetSelection().has_value());
  EXPECT_EQ(editor.GetCaret(), (hexedit::Caret{0x45, true}));
}

TEST_F(HexEdit, AnEmptyControlIgnoresInput) {
  QSignalSpy changed(&editor, &CHexEditBase::changed);
  editor.SetData(nullptr, 0);
  QTest::keyClicks(&editor, "12");
  key(Qt::Key_End);
  key(Qt::Key_A, Qt::ControlModifier);
  putBlock({1, 0, 0, 0, 0x42});
  EXPECT_FALSE(editor.Paste());
  mouse(QEvent::MouseButtonPress, QPoint(60, 10), Qt::LeftButton);
  mouse(QEvent::MouseMove, QPoint(200, 100), Qt::LeftButton);
  wheel(-240);
  EXPECT_EQ(editor.GetDataLength(), 0u);
  EXPECT_FALSE(editor.GetSelection().has_value());
  EXPECT_FALSE(editor.GetCaretRect().has_value());
  EXPECT_EQ(changed.count(), 0);
  EXPECT_EQ(pixelAt(QPoint(60, 10)), editor.GetColours().controlBackground);
}

}  // namespace
