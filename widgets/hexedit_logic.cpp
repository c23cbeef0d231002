#include "widgets/hexedit_logic.hpp"

#include <algorithm>
#include <cstdio>

namespace hexedit {
namespace {

// Keeps pixel arithmetic far from int overflow whatever a caller asks for.
constexpr unsigned kMaxBytesPerRow = 1024;
constexpr unsigned kMaxAddressDigits = 16;

constexpr char kHexDigits[] = "0123456789ABCDEF";

void appendPair(std::string& out, std::uint8_t byte) {
  out += kHexDigits[byte >> 4];
  out += kHexDigits[byte & 0x0F];
}

}  // namespace

Layout computeLayout(const LayoutInput& in) {
  Layout l;
  l.charWidth = std::max(1, in.charWidth);
  l.charHeight = std::max(1, in.charHeight);
  const int cw = l.charWidth;

  QRect text = in.client.adjusted(kInset, kInset, -kInset, -kInset);
  text.setWidth(std::max(0, text.width()));
  text.setHeight(std::max(0, text.height()));
  l.textArea = text;

  const int remainder = text.height() % l.charHeight;
  l.fullRows = static_cast<std::size_t>(text.height() / l.charHeight);
  l.partialRowHeight = remainder != 0 ? remainder : l.charHeight;
  l.rowsShown = l.fullRows + (remainder != 0 ? 1 : 0);

  const int digits = static_cast<int>(std::min(in.addressDigits, kMaxAddressDigits));
  l.addressX = 0;
  l.addressWidth = in.showAddress ? digits * cw + kInset : 0;

  const unsigned bpr = std::clamp(in.bytesPerRow, 1u, kMaxBytesPerRow);
  l.bytesPerRow = bpr;
  const int hexText = cw * (3 * static_cast<int>(bpr) - 1);
  l.hexX = l.addressX + l.addressWidth;
  l.hexWidth = hexText + kInset;
  l.contentWidth = l.hexX + hexText;

  if (in.showAscii) {
    l.asciiX = l.contentWidth + kInset;
    l.asciiWidth = static_cast<int>(bpr) * cw;
    l.contentWidth += l.asciiWidth + kInset;
  }

  l.totalRows = (in.length + bpr - 1) / bpr;
  l.largestTopRow = l.totalRows > l.fullRows ? l.totalRows - l.fullRows : 0;
  l.largestOffset = std::max(0, l.contentWidth - text.width());
  return l;
}

Range rangeBetween(std::size_t a, std::size_t b) { return {std::min(a, b), std::max(a, b)}; }

std::optional<Caret> hitTest(const Layout& l, QPoint point, std::size_t topRow, int offset,
                             std::size_t length) {
  if (length == 0) {
    return std::nullopt;
  }
  const int cw = l.charWidth;
  const int ch = l.charHeight;
  // Below the text the point counts for the last row shown, so a drag never puts the caret on a
  // row the user cannot see.
  const int lowest = std::max(0, static_cast<int>(l.rowsShown) * ch - 1);
  const int y = std::clamp(point.y() - l.textArea.top(), 0, lowest);
  const int x =
      std::clamp(point.x() - l.textArea.left() + offset + cw / 2, l.hexX, l.hexX + l.hexTextWidth());
  const int u = (x - l.hexX) / cw;
  const std::size_t row = static_cast<std::size_t>(y / ch) + topRow;
  const std::size_t byte = static_cast<std::size_t>(u / 3) + row * l.bytesPerRow;
  if (byte >= length) {
    return Caret{length - 1, false};
  }
  return Caret{byte, u % 3 == 0};
}

Caret stepCaret(Caret from, std::ptrdiff_t step, bool endHigh, std::size_t length) {
  if (length == 0) {
    return {};
  }
  const std::ptrdiff_t target = static_cast<std::ptrdiff_t>(from.byte) + step;
  if (target < 0) {
    return {0, true};
  }
  if (static_cast<std::size_t>(target) >= length) {
    return {length - 1, false};
  }
  return {static_cast<std::size_t>(target), endHigh};
}

std::size_t topRowShowing(const Layout& l, Range range, std::size_t topRow) {
  const std::size_t bpr = l.bytesPerRow;
  const std::size_t visibleStart = topRow * bpr;
  const std::size_t visibleEnd = (topRow + l.fullRows) * bpr;
  if (range.first <= visibleStart && range.last >= visibleEnd) {
    return std::min(topRow, l.largestTopRow);
  }
  const std::size_t firstRow = range.first / bpr;
  const std::size_t lastRow = range.last / bpr;
  // The top row that makes the range's last row the last full row.
  const std::size_t endingAtLast = lastRow + 1 > l.fullRows ? lastRow + 1 - l.fullRows : 0;
  std::size_t top = topRow;
  if (lastRow - firstRow + 1 <= l.fullRows) {
    if (range.first < visibleStart) {
      top = firstRow;
    } else if (range.last >= visibleEnd) {
      top = endingAtLast;
    }
  } else {
    top = range.first > visibleStart ? firstRow : endingAtLast;
  }
  return std::min(top, l.largestTopRow);
}

int offsetShowing(const Layout& l, Range range, int offset) {
  const int cw = l.charWidth;
  const std::size_t bpr = l.bytesPerRow;
  std::size_t firstColumn = range.first % bpr;
  std::size_t lastColumn = range.last % bpr;
  if (range.first / bpr != range.last / bpr && firstColumn > lastColumn) {
    std::swap(firstColumn, lastColumn);
  }
  const int left = l.hexX + cw * 3 * static_cast<int>(firstColumn);
  const int right = l.hexX + cw * (3 * static_cast<int>(lastColumn) + 2);
  const int width = l.textArea.width();
  const bool spansArea = right - left > width && left - offset <= 0 && right - offset >= width;
  int result = offset;
  if (!spansArea) {
    if (left - result < 0) {
      result = left;
    } else if (right - result >= width) {
      result = std::min(left, right - width + kInset);
    }
  }
  return std::clamp(result, 0, l.largestOffset);
}

std::optional<QRect> caretRect(const Layout& l, Caret caret, std::size_t topRow, int offset) {
  const std::size_t row = caret.byte / l.bytesPerRow;
  if (row < topRow || row >= topRow + l.rowsShown) {
    return std::nullopt;
  }
  const std::size_t shown = row - topRow;
  const int cw = l.charWidth;
  const int height = (shown + 1 == l.rowsShown ? l.partialRowHeight : l.charHeight) - 1;
  const int column = static_cast<int>(caret.byte % l.bytesPerRow);
  const int x = l.textArea.left() + l.hexX + cw * (3 * column + (caret.high ? 0 : 1)) - offset;
  const int y = l.textArea.top() + static_cast<int>(shown) * l.charHeight + 1;
  const int minLeft = l.textArea.left() - 2;
  const int maxRight = l.textArea.left() + l.textArea.width() + 2;  // exclusive
  const int left = std::max(x, minLeft);
  const int right = std::min(x + cw, maxRight);
  if (right <= left || height <= 0) {
    return std::nullopt;
  }
  return QRect(left, y, right - left, height);
}

void AutoScroll::aim(int y, const QRect& textArea) {
  const int top = textArea.top();
  const int bottom = textArea.top() + textArea.height();
  const bool wasActive = active();
  if (y < top) {
    direction_ = -1;
    interval_ = 7 - std::min((top - y + 1) / 5, 6);
  } else if (y >= bottom) {
    direction_ = 1;
    interval_ = 7 - std::min((y - bottom + 1) / 5, 6);
  } else {
    direction_ = 0;
    return;
  }
  countdown_ = wasActive ? std::min(countdown_, interval_) : interval_;
}

bool AutoScroll::tick() {
  if (!active()) {
    return false;
  }
  if (--countdown_ > 0) {
    return false;
  }
  countdown_ = interval_;
  return true;
}

int WheelSteps::rows(int delta) {
  if ((pending_ > 0 && delta < 0) || (pending_ < 0 && delta > 0)) {
    pending_ = 0;  // a turn back starts afresh instead of first paying off the other direction
  }
  pending_ += delta;
  const int notches = pending_ / kNotch;
  pending_ -= notches * kNotch;
  return -notches;
}

std::string rowLabel(std::size_t address, unsigned digits) {
  char buf[32];
  const int n = std::snprintf(buf, sizeof buf, "%0*zX",
                              static_cast<int>(std::min(digits, kMaxAddressDigits)), address);
  return std::string(buf, static_cast<std::size_t>(std::max(0, n)));
}

char asciiChar(std::uint8_t byte) {
  return byte >= 0x20 && byte < 0x7F ? static_cast<char>(byte) : '.';
}

int hexDigitValue(char32_t c) {
  if (c >= U'0' && c <= U'9') {
    return static_cast<int>(c - U'0');
  }
  if (c >= U'a' && c <= U'f') {
    return static_cast<int>(c - U'a') + 10;
  }
  if (c >= U'A' && c <= U'F') {
    return static_cast<int>(c - U'A') + 10;
  }
  return -1;
}

std::string copyText(std::span<const std::uint8_t> data, Range selection, std::size_t bytesPerRow) {
  std::string out;
  if (data.empty() || selection.first >= data.size()) {
    return out;
  }
  const std::size_t bpr = std::max<std::size_t>(1, bytesPerRow);
  const std::size_t last = std::min(selection.last, data.size() - 1);
  const bool followRows = last - selection.first > bpr;
  if (followRows) {
    out.append(3 * (selection.first % bpr), ' ');
  }
  for (std::size_t b = selection.first; b <= last; ++b) {
    appendPair(out, data[b]);
    const std::size_t counted = followRows ? b + 1 : b - selection.first + 1;
    out += (b == last || counted % bpr == 0) ? '\n' : ' ';
  }
  return out;
}

std::vector<std::uint8_t> binaryBlock(std::span<const std::uint8_t> data, Range selection) {
  std::vector<std::uint8_t> block;
  if (data.empty() || selection.first >= data.size()) {
    return block;
  }
  const std::size_t last = std::min(selection.last, data.size() - 1);
  const auto count = static_cast<std::uint32_t>(last - selection.first + 1);
  block.reserve(4 + count);
  for (int shift = 0; shift < 32; shift += 8) {
    block.push_back(static_cast<std::uint8_t>(count >> shift));
  }
  block.insert(block.end(), data.begin() + static_cast<std::ptrdiff_t>(selection.first),
               data.begin() + static_cast<std::ptrdiff_t>(last) + 1);
  return block;
}

std::optional<std::span<const std::uint8_t>> blockPayload(std::span<const std::uint8_t> block) {
  if (block.size() < 4) {
    return std::nullopt;
  }
  const std::uint32_t count = static_cast<std::uint32_t>(block[0]) |
                              static_cast<std::uint32_t>(block[1]) << 8 |
                              static_cast<std::uint32_t>(block[2]) << 16 |
                              static_cast<std::uint32_t>(block[3]) << 24;
  // Another program may put a block on the clipboard whose count claims more than it holds.
  const std::size_t present = std::min<std::size_t>(count, block.size() - 4);
  return block.subspan(4, present);
}

std::size_t pasteCount(std::size_t dest, std::size_t count, std::size_t length) {
  return dest < length ? std::min(count, length - dest) : 0;
}

}  // namespace hexedit
