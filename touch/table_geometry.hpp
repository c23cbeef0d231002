#pragma once
// The channel table's sizes for a display scale: column widths, fonts, row height and the header's
// height factor, as physical pixels at that scale.
namespace touch {

struct TableGeometry {
  int channelWidth = 0;
  int valueWidth = 0;      // Current, Baseline, Differ
  int thresholdWidth = 0;
  int spacerWidth = 0;
  int headerFontHeight = 0;
  int cellFontHeight = 0;
  int rowHeight = 0;
  double headerHeightFactor = 1.0;

  // The width of column 0..10.
  int columnWidth(int column) const;
};

// 1 + 0.25 × ⌊(d − 96) ÷ 24⌋, at least 1, for the mean logical pixels per inch d.
double displayScale(double meanDpi);
TableGeometry tableGeometry(double scale);

}  // namespace touch
