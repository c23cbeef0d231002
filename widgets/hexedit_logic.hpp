#pragma once
// Geometry and editing rules of the hex editor, kept apart from the widget so that they can be
// checked without one: layout, hit testing, caret steps, keeping a range in view, automatic
// scrolling, wheel steps, the copied text and the clipboard block.
#include <QPoint>
#include <QRect>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace hexedit {

inline constexpr std::size_t kNone = static_cast<std::size_t>(-1);
// Space between the control's edge and its text, and between the columns.
inline constexpr int kInset = 5;

struct LayoutInput {
  QRect client;
  int charWidth = 1;
  int charHeight = 1;
  std::size_t length = 0;
  unsigned bytesPerRow = 16;
  unsigned addressDigits = 8;
  bool showAddress = false;
  bool showAscii = false;
};

// Column positions are relative to the text area's left edge, before the horizontal offset.
struct Layout {
  QRect textArea;
  int charWidth = 1;
  int charHeight = 1;
  std::size_t fullRows = 0;
  int partialRowHeight = 1;
  std::size_t rowsShown = 0;
  std::size_t bytesPerRow = 1;
  int addressX = 0;
  int addressWidth = 0;
  int hexX = 0;
  int hexWidth = 0;
  int asciiX = 0;
  int asciiWidth = 0;
  int contentWidth = 0;
  std::size_t totalRows = 0;
  std::size_t largestTopRow = 0;
  int largestOffset = 0;

  // Width of the hex digits and blanks of one row, without the trailing inset.
  int hexTextWidth() const { return hexWidth - kInset; }
};

Layout computeLayout(const LayoutInput& in);

struct Caret {
  std::size_t byte = 0;
  bool high = true;
  friend bool operator==(const Caret&, const Caret&) = default;
};

// Inclusive byte range, first <= last.
struct Range {
  std::size_t first = 0;
  std::size_t last = 0;
  bool contains(std::size_t b) const { return b >= first && b <= last; }
  std::size_t count() const { return last - first + 1; }
  friend bool operator==(const Range&, const Range&) = default;
};

Range rangeBetween(std::size_t a, std::size_t b);

// Byte and nibble under a point of the client area; empty without data. Points left or right of
// the hex column fall on the nearest hex position of their row, points above or below on the
// first or last row shown.
std::optional<Caret> hitTest(const Layout& layout, QPoint point, std::size_t topRow, int offset,
                             std::size_t length);

// Moves by `step` bytes and ends on the given nibble; running off either end stops on the
// outermost digit.
Caret stepCaret(Caret from, std::ptrdiff_t step, bool endHigh, std::size_t length);

// Top row and horizontal offset that bring `range` into view from the current position.
std::size_t topRowShowing(const Layout& layout, Range range, std::size_t topRow);
int offsetShowing(const Layout& layout, Range range, int offset);

// Caret block in client coordinates, clipped to the text area widened by 2 pixels; empty when
// its byte is not in a row shown or the block lies wholly outside.
std::optional<QRect> caretRect(const Layout& layout, Caret caret, std::size_t topRow, int offset);

// Scrolling while a drag holds the pointer above or below the text area. `interval` is counted in
// timer ticks: the further away the pointer, the faster the rows go by.
class AutoScroll {
 public:
  static constexpr int kTickMs = 5;

  // Aims at the pointer's y; inside the text area scrolling stops.
  void aim(int y, const QRect& textArea);
  void stop() { direction_ = 0; }
  bool active() const { return direction_ != 0; }
  int direction() const { return direction_; }
  int interval() const { return interval_; }
  // One timer tick; true when the view should move one row in `direction()`.
  bool tick();

 private:
  int direction_ = 0;
  int interval_ = 0;
  int countdown_ = 0;
};

// Turns wheel deltas (120 per notch) into rows; fine-grained wheels and touchpads send parts of
// a notch, which add up instead of being lost.
class WheelSteps {
 public:
  static constexpr int kNotch = 120;
  // Rows to move the top row by: positive downwards, for the wheel turned towards the user.
  int rows(int delta);

 private:
  int pending_ = 0;
};

std::string rowLabel(std::size_t address, unsigned digits);
char asciiChar(std::uint8_t byte);
// Value of a hex digit, or -1.
int hexDigitValue(char32_t c);

// The selection as text: upper-case pairs separated by blanks, each line ended by "\n". A
// selection longer than a row follows the rows, its first line indented to its column; a shorter
// one is cut into lines of one row's length from its start.
std::string copyText(std::span<const std::uint8_t> data, Range selection, std::size_t bytesPerRow);

// The "BinaryData" clipboard block: 32-bit little-endian count, then the bytes.
std::vector<std::uint8_t> binaryBlock(std::span<const std::uint8_t> data, Range selection);
// Bytes of a block, trusting its count only as far as the block really holds them; empty for a
// block too short to hold a count.
std::optional<std::span<const std::uint8_t>> blockPayload(std::span<const std::uint8_t> block);
// Bytes of a paste at `dest` that fit before the end of the data.
std::size_t pasteCount(std::size_t dest, std::size_t count, std::size_t length);

}  // namespace hexedit
