#include "widgets/hexedit_logic.hpp"

#include <gtest/gtest.h>

#include <cctype>
#include <numeric>
#include <vector>

namespace {

using hexedit::Caret;
using hexedit::Layout;
using hexedit::Range;

constexpr int kCw = 8;
constexpr int kCh = 16;
constexpr std::size_t kBufferLength = 0x20000;

// A buffer page's editor: 5 address digits, 16 bytes per row, ASCII shown. With a 600x330
// client the text area is 590x320: 20 full rows, no partial one.
Layout bufferPage(std::size_t length = kBufferLength, QRect client = QRect(0, 0, 600, 330)) {
  return hexedit::computeLayout({client, kCw, kCh, length, 16, 5, true, true});
}

TEST(HexLayout, BufferPageColumnsAndBounds) {
  const Layout l = bufferPage();
  EXPECT_EQ(l.textArea, QRect(5, 5, 590, 320));
  EXPECT_EQ(l.fullRows, 20u);
  EXPECT_EQ(l.rowsShown, 20u);
  EXPECT_EQ(l.partialRowHeight, kCh);
  EXPECT_EQ(l.addressWidth, 5 * kCw + 5);
  EXPECT_EQ(l.hexX, 45);
  EXPECT_EQ(l.hexWidth, kCw * 47 + 5);
  EXPECT_EQ(l.asciiX, 45 + kCw * 47 + 5);
  EXPECT_EQ(l.asciiWidth, 16 * kCw);
  EXPECT_EQ(l.contentWidth, 45 + kCw * 47 + 5 + 16 * kCw);  // the ASCII column ends the content
  EXPECT_EQ(l.totalRows, 0x2000u);
  EXPECT_EQ(l.largestTopRow, 0x2000u - 20);
  EXPECT_EQ(l.largestOffset, 0);
}

TEST(HexLayout, PartialRowNarrowAreaAndDegenerateSettings) {
  const Layout partial = bufferPage(kBufferLength, QRect(0, 0, 300, 340));
  EXPECT_EQ(partial.fullRows, 20u);
  EXPECT_EQ(partial.partialRowHeight, 10);
  EXPECT_EQ(partial.rowsShown, 21u);
  EXPECT_EQ(partial.largestOffset, partial.contentWidth - 290);

  const Layout fits = bufferPage(16 * 20);
  EXPECT_EQ(fits.largestTopRow, 0u);

  const Layout bare = hexedit::computeLayout({QRect(0, 0, 4, 4), kCw, kCh, 10, 0, 5, false, false});
  EXPECT_EQ(bare.bytesPerRow, 1u);
  EXPECT_EQ(bare.textArea.width(), 0);
  EXPECT_EQ(bare.textArea.height(), 0);
  EXPECT_EQ(bare.hexX, 0);
  EXPECT_EQ(bare.asciiWidth, 0);
  EXPECT_EQ(bare.rowsShown, 0u);
}

TEST(HexLayout, RowLabelsOfTheBufferPage) {
  const Layout l = bufferPage();
  EXPECT_EQ(hexedit::rowLabel(0 * l.bytesPerRow, 5), "00000");
  EXPECT_EQ(hexedit::rowLabel(1 * l.bytesPerRow, 5), "00010");
  EXPECT_EQ(hexedit::rowLabel(2 * l.bytesPerRow, 5), "00020");
  EXPECT_EQ(hexedit::rowLabel((l.totalRows - 1) * l.bytesPerRow, 5), "1FFF0");
  EXPECT_EQ(hexedit::rowLabel(0xABC, 8), "00000ABC");
}

struct HitCase {
  const char* what;
  QPoint point;
  std::size_t topRow;
  int offset;
  std::size_t length;
  Caret expected;
};

class HexHitTest : public ::testing::TestWithParam<HitCase> {};

TEST_P(HexHitTest, FindsByteAndNibble) {
  const HitCase& c = GetParam();
  const Layout l = bufferPage(c.length);
  const auto hit = hexedit::hitTest(l, c.point, c.topRow, c.offset, c.length);
  ASSERT_TRUE(hit.has_value());
  EXPECT_EQ(hit->byte, c.expected.byte);
  EXPECT_EQ(hit->high, c.expected.high);
}

// Text area at (5,5); hex column at text x 45; digits 8 pixels wide, rows 16 high. A point
// counts for the digit boundary nearest to it.
INSTANTIATE_TEST_SUITE_P(
    Points, HexHitTest,
    ::testing::Values(
        HitCase{"first digit", {51, 6}, 0, 0, kBufferLength, {0, true}},
        HitCase{"second digit", {59, 6}, 0, 0, kBufferLength, {0, false}},
        HitCase{"left half of the blank", {67, 6}, 0, 0, kBufferLength, {0, false}},
        HitCase{"right half of the blank", {71, 6}, 0, 0, kBufferLength, {1, true}},
        HitCase{"address column", {10, 5 + 3 * kCh + 2}, 0, 0, kBufferLength, {48, true}},
        HitCase{"ASCII column", {500, 6}, 0, 0, kBufferLength, {15, false}},
        HitCase{"above the text", {51, -40}, 0, 0, kBufferLength, {0, true}},
        HitCase{"below the text: last row shown", {51, 1000}, 0, 0, kBufferLength, {19 * 16, true}},
        HitCase{"scrolled down", {51, 6 + kCh}, 10, 0, kBufferLength, {11 * 16, true}},
        HitCase{"scrolled sideways", {51, 6}, 0, 16, kBufferLength, {0, false}},
        HitCase{"past the end of a short row", {51 + 30 * kCw, 6 + kCh}, 0, 0, 20, {19, false}}),
    [](const auto& param) {
      std::string name = param.param.what;
      for (char& ch : name) {
        if (!std::isalnum(static_cast<unsigned char>(ch))) {
          ch = '_';
        }
      }
      return name;
    });

TEST(HexHitTestEmpty, NoDataNoHit) {
  EXPECT_FALSE(hexedit::hitTest(bufferPage(0), {51, 6}, 0, 0, 0).has_value());
}

TEST(HexCaretStep, ArrowsStopAtBothEnds) {
  constexpr std::size_t n = 100;
  struct Case {
    Caret from;
    std::ptrdiff_t step;
    bool endHigh;
    Caret expected;
  };
  const Case cases[] = {
      {{n - 1, false}, 1, true, {n - 1, false}},  // Right from the last digit
      {{0, true}, -1, false, {0, true}},          // Left from the first digit
      {{n - 1, true}, 0, false, {n - 1, false}},  // Right onto the last digit
      {{0, false}, 0, true, {0, true}},           // Left onto the first digit
      {{n - 3, true}, 16, true, {n - 1, false}},  // Down from the last row
      {{3, false}, -16, false, {0, true}},        // Up from the first row
      {{40, false}, -16, false, {24, false}},     // Up inside
      {{40, true}, 59, false, {n - 1, false}},    // exactly onto the end
  };
  for (const Case& c : cases) {
    const Caret got = hexedit::stepCaret(c.from, c.step, c.endHigh, n);
    EXPECT_EQ(got, c.expected) << "from " << c.from.byte << " step " << c.step;
  }
}

TEST(HexKeepInView, VerticalRules) {
  const Layout l = bufferPage();  // 20 full rows
  struct Case {
    const char* what;
    Range range;
    std::size_t top;
    std::size_t expected;
  };
  const Case cases[] = {
      {"inside stays", {5 * 16, 5 * 16}, 0, 0},
      {"above: its row on top", {5 * 16 + 3, 5 * 16 + 3}, 10, 5},
      {"below: its row the last full row", {20 * 16, 20 * 16}, 0, 1},
      {"long, starting after the view's start", {16, 30 * 16}, 0, 1},
      {"long, covering the whole view", {0, 30 * 16}, 5, 5},
      {"long, starting before and ending inside", {0, 25 * 16 + 3}, 10, 6},
      {"limited to the largest top row", {kBufferLength - 1, kBufferLength - 1}, 0,
       l.largestTopRow},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(hexedit::topRowShowing(l, c.range, c.top), c.expected) << c.what;
  }
}

TEST(HexKeepInView, HorizontalRules) {
  const Layout l = bufferPage(kBufferLength, QRect(0, 0, 300, 330));  // text width 290
  const int lastRight = l.hexX + kCw * 47;
  EXPECT_EQ(hexedit::offsetShowing(l, {15, 15}, 0), lastRight - 290 + 5);
  EXPECT_EQ(hexedit::offsetShowing(l, {0, 0}, 136), l.hexX);
  EXPECT_EQ(hexedit::offsetShowing(l, {3, 3}, 0), 0);
  // A row-wide range that already spans the text area leaves the offset alone.
  EXPECT_EQ(hexedit::offsetShowing(l, {0, 15}, 100), 100);
}

TEST(HexCaretRect, BlockOnTheDigitClippedToTheTextArea) {
  const Layout l = bufferPage(kBufferLength, QRect(0, 0, 300, 340));  // 21st row partial, 10 high
  EXPECT_EQ(hexedit::caretRect(l, {17, false}, 0, 0), QRect(5 + 45 + kCw * 4, 5 + kCh + 1, kCw, kCh - 1));
  EXPECT_EQ(hexedit::caretRect(l, {20 * 16, true}, 0, 0)->height(), 10 - 1);
  EXPECT_FALSE(hexedit::caretRect(l, {21 * 16, true}, 0, 0).has_value());
  EXPECT_FALSE(hexedit::caretRect(l, {0, true}, 1, 0).has_value());
  // Scrolled so that byte 0's high digit lies left of the area: clipped at text left - 2.
  const auto clipped = hexedit::caretRect(l, {0, true}, 0, 45 + 4);
  ASSERT_TRUE(clipped.has_value());
  EXPECT_EQ(clipped->left(), 5 - 2);
  EXPECT_EQ(clipped->width(), kCw - 2);
  EXPECT_FALSE(hexedit::caretRect(l, {0, true}, 0, 45 + 20).has_value());
}

TEST(HexAutoScroll, IntervalGrowsShorterWithDistance) {
  const QRect text(5, 5, 590, 320);  // rows from y 5 to 324
  struct Case {
    int y;
    int direction;
    int interval;
  };
  const Case cases[] = {{4, -1, 7}, {0, -1, 6}, {-30, -1, 1}, {-300, -1, 1},
                        {325, 1, 7}, {340, 1, 4}, {400, 1, 1}, {100, 0, 0}, {324, 0, 0}};
  for (const Case& c : cases) {
    hexedit::AutoScroll a;
    a.aim(c.y, text);
    EXPECT_EQ(a.direction(), c.direction) << "y " << c.y;
    if (c.direction != 0) {
      EXPECT_EQ(a.interval(), c.interval) << "y " << c.y;
    }
  }
}

TEST(HexAutoScroll, ScrollsOnceEveryIntervalTicks) {
  hexedit::AutoScroll a;
  a.aim(340, QRect(5, 5, 590, 320));  // interval 4
  std::vector<int> scrolledAt;
  for (int t = 1; t <= 12; ++t) {
    if (a.tick()) {
      scrolledAt.push_back(t);
    }
  }
  EXPECT_EQ(scrolledAt, (std::vector<int>{4, 8, 12}));
  a.aim(100, QRect(5, 5, 590, 320));
  EXPECT_FALSE(a.active());
  EXPECT_FALSE(a.tick());
}

TEST(HexWheel, PartsOfANotchAddUp) {
  hexedit::WheelSteps w;
  EXPECT_EQ(w.rows(-60), 0);
  EXPECT_EQ(w.rows(-60), 1);
  EXPECT_EQ(w.rows(120), -1);
  EXPECT_EQ(w.rows(-360), 3);
  for (int i = 0; i < 7; ++i) {
    EXPECT_EQ(w.rows(-15), 0);
  }
  EXPECT_EQ(w.rows(-15), 1);
  // Turning back drops what was pending in the other direction.
  EXPECT_EQ(w.rows(-100), 0);
  EXPECT_EQ(w.rows(30), 0);
  EXPECT_EQ(w.rows(90), -1);
}

std::vector<std::uint8_t> counting(std::size_t n) {
  std::vector<std::uint8_t> v(n);
  std::iota(v.begin(), v.end(), std::uint8_t{0});
  return v;
}

TEST(HexCopyText, SelectionLongerThanARowFollowsTheRows) {
  const auto data = counting(0x40);
  const std::string text = hexedit::copyText(data, {0x0E, 0x21}, 16);
  EXPECT_EQ(text, std::string(42, ' ') + "0E 0F\n" +
                      "10 11 12 13 14 15 16 17 18 19 1A 1B 1C 1D 1E 1F\n" + "20 21\n");
}

TEST(HexCopyText, SelectionOfARowOrLessIsCutFromItsStart) {
  const auto data = counting(0x40);
  EXPECT_EQ(hexedit::copyText(data, {5, 21}, 16),
            "05 06 07 08 09 0A 0B 0C 0D 0E 0F 10 11 12 13 14\n15\n");
  EXPECT_EQ(hexedit::copyText(data, {0x2A, 0x2A}, 16), "2A\n");
  EXPECT_EQ(hexedit::copyText(data, {0x0E, 0x11}, 16), "0E 0F 10 11\n");
}

TEST(HexClipboardBlock, CountThenBytesAndDistrustedCounts) {
  const auto data = counting(0x200);
  const auto block = hexedit::binaryBlock(data, {0x100, 0x104});
  EXPECT_EQ(block, (std::vector<std::uint8_t>{5, 0, 0, 0, 0x00, 0x01, 0x02, 0x03, 0x04}));

  const auto payload = hexedit::blockPayload(block);
  ASSERT_TRUE(payload.has_value());
  EXPECT_EQ(payload->size(), 5u);

  const std::vector<std::uint8_t> lying{0xFF, 0xFF, 0, 0, 1, 2, 3};
  EXPECT_EQ(hexedit::blockPayload(lying)->size(), 3u);
  const std::vector<std::uint8_t> modest{2, 0, 0, 0, 1, 2, 3};
  EXPECT_EQ(hexedit::blockPayload(modest)->size(), 2u);
  const std::vector<std::uint8_t> stub{1, 0, 0};
  EXPECT_FALSE(hexedit::blockPayload(stub).has_value());
}

TEST(HexClipboardBlock, PasteStopsAtTheEnd) {
  EXPECT_EQ(hexedit::pasteCount(kBufferLength - 4, 10, kBufferLength), 4u);
  EXPECT_EQ(hexedit::pasteCount(0, 10, kBufferLength), 10u);
  EXPECT_EQ(hexedit::pasteCount(kBufferLength, 10, kBufferLength), 0u);
}

TEST(HexDigits, ValuesAndPrintables) {
  EXPECT_EQ(hexedit::hexDigitValue(U'0'), 0);
  EXPECT_EQ(hexedit::hexDigitValue(U'9'), 9);
  EXPECT_EQ(hexedit::hexDigitValue(U'a'), 10);
  EXPECT_EQ(hexedit::hexDigitValue(U'F'), 15);
  EXPECT_EQ(hexedit::hexDigitValue(U'g'), -1);
  EXPECT_EQ(hexedit::hexDigitValue(U'\xE0'), -1);
  EXPECT_EQ(hexedit::asciiChar('A'), 'A');
  EXPECT_EQ(hexedit::asciiChar(0x1F), '.');
  EXPECT_EQ(hexedit::asciiChar(0x7F), '.');
  EXPECT_EQ(hexedit::asciiChar(0xFF), '.');
}

}  // namespace
