// The channel table's cell writes: layout of two channels per row, trigger colours, the reference
// row, and the sizes for each display scale.
#include <gtest/gtest.h>

#include "tests/touch/recorder.hpp"
#include "touch/table_geometry.hpp"

namespace {

using touch::Field;
using touchtest::Grid;

struct Table {
  Table(std::size_t count) {
    writer.setChannelCount(count);
    writer.clear();
    for (std::size_t i = 0; i < count; ++i) writer.channelRow(i, static_cast<std::uint8_t>(i + 1));
  }
  Grid grid;
  touch::TableWriter writer{grid};
};

TEST(TouchTable, ChannelRowsTwoPerRowWithSpacerAndEditableThreshold) {
  Table t(3);
  ASSERT_EQ(t.grid.rowCount(), 24);
  EXPECT_EQ(t.grid.at(0, 0).text, "TP1");
  EXPECT_EQ(t.grid.at(0, 6).text, "TP2");
  EXPECT_EQ(t.grid.at(1, 0).text, "TP3");
  EXPECT_EQ(t.grid.at(0, 5).text, "    ");
  EXPECT_EQ(t.grid.at(1, 6).text, "");
  EXPECT_EQ(t.grid.at(0, 0).background, touch::kNameGreen);
  EXPECT_EQ(t.grid.at(0, 9).background, touch::kValueWhite);
  EXPECT_EQ(t.grid.at(1, 7).background, touch::kCellGrey);
  EXPECT_TRUE(t.grid.at(0, 4).editable);
  EXPECT_TRUE(t.grid.at(0, 10).editable);
  EXPECT_FALSE(t.grid.at(0, 3).editable);
  t.writer.value(2, Field::Difference, -7);
  t.writer.value(1, Field::Threshold, 250);
  EXPECT_EQ(t.grid.at(1, 3).text, "-7");
  EXPECT_EQ(t.grid.at(0, 10).text, "250");
  EXPECT_EQ(touch::TableWriter::thresholdIndexAt(5, 4), 10u);
  EXPECT_EQ(touch::TableWriter::thresholdIndexAt(5, 10), 11u);
  EXPECT_FALSE(touch::TableWriter::thresholdIndexAt(5, 3));
}

TEST(TouchTable, KeyFlagsColourOnlyChangedNamesWithinTheCount) {
  Table t(4);
  t.grid.writes = 0;
  t.writer.keyFlags(0b0101 | (std::uint64_t{1} << 63));
  EXPECT_EQ(t.grid.at(0, 0).background, touch::kTriggeredRed);
  EXPECT_EQ(t.grid.at(1, 0).background, touch::kTriggeredRed);
  EXPECT_EQ(t.grid.at(0, 6).background, touch::kNameGreen);
  EXPECT_EQ(t.grid.writes, 2);  // bit 63 lies beyond the four channels
  t.writer.keyFlags(0b0101 | (std::uint64_t{1} << 63));
  EXPECT_EQ(t.grid.writes, 2);
  t.writer.keyFlags(0b0110);
  EXPECT_EQ(t.grid.at(0, 0).background, touch::kNameGreen);
  EXPECT_EQ(t.grid.at(0, 6).background, touch::kTriggeredRed);
  EXPECT_EQ(t.grid.at(1, 0).background, touch::kTriggeredRed);
  EXPECT_EQ(t.grid.writes, 4);
}

TEST(TouchTable, ReferenceRowShowsOnlyValuesThatCarrySomething) {
  Table t(5);  // channels in rows 0..2, the reference in row 3
  for (std::int32_t hidden : {0, 0xFFFF, -3}) {
    t.writer.reference(Field::Difference, hidden);
    t.writer.reference(Field::Current, hidden);
  }
  EXPECT_EQ(t.grid.at(3, 0).text, "");
  t.writer.reference(Field::Baseline, 1000);
  t.writer.reference(Field::Current, 996);
  t.writer.reference(Field::Difference, 4);
  EXPECT_EQ(t.grid.at(3, 0).text, "TP_REF");
  EXPECT_EQ(t.grid.at(3, 1).text, "996");
  EXPECT_EQ(t.grid.at(3, 2).text, "1000");
  EXPECT_EQ(t.grid.at(3, 3).text, "4");
  EXPECT_EQ(t.grid.at(3, 0).background, touch::kNameGreen);
  EXPECT_EQ(t.grid.at(3, 3).background, touch::kValueWhite);
  EXPECT_EQ(t.grid.at(3, 4).background, touch::kCellGrey);
}

TEST(TouchTable, MoreThanFortyEightChannelsGrowTheTable) {
  Table t(64);
  EXPECT_EQ(t.grid.rowCount(), 33);
  EXPECT_EQ(t.grid.at(31, 6).text, "TP64");
  t.writer.reference(Field::Baseline, 10);
  EXPECT_EQ(t.grid.at(32, 0).text, "TP_REF");
  t.writer.keyFlags(std::uint64_t{1} << 63);
  EXPECT_EQ(t.grid.at(31, 6).background, touch::kTriggeredRed);
}

TEST(TouchTableGeometry, ScaleFromDotsPerInchAndEveryRowOfTheSizeTable) {
  EXPECT_EQ(touch::displayScale(72), 1.0);
  EXPECT_EQ(touch::displayScale(96), 1.0);
  EXPECT_EQ(touch::displayScale(119), 1.0);
  EXPECT_EQ(touch::displayScale(120), 1.25);
  EXPECT_EQ(touch::displayScale(144), 1.5);
  EXPECT_EQ(touch::displayScale(192), 2.0);
  const struct {
    double s;
    int channel, value, threshold, spacer, headerFont, cellFont, row;
    double factor;
  } rows[] = {
      {1.0, 70, 65, 75, 10, 16, 16, 24, 1.8},      {1.25, 75, 75, 75, 50, 18, 16, 31, 2.625},
      {1.5, 90, 90, 90, 75, 22, 22, 33, 1.8},      {1.75, 122, 105, 105, 115, 22, 22, 45, 3.15},
  };
  for (const auto& r : rows) {
    const touch::TableGeometry g = touch::tableGeometry(r.s);
    EXPECT_EQ(g.columnWidth(0), r.channel) << r.s;
    EXPECT_EQ(g.columnWidth(6), r.channel) << r.s;
    EXPECT_EQ(g.columnWidth(2), r.value) << r.s;
    EXPECT_EQ(g.columnWidth(9), r.value) << r.s;
    EXPECT_EQ(g.columnWidth(10), r.threshold) << r.s;
    EXPECT_EQ(g.columnWidth(5), r.spacer) << r.s;
    EXPECT_EQ(g.headerFontHeight, r.headerFont) << r.s;
    EXPECT_EQ(g.cellFontHeight, r.cellFont) << r.s;
    EXPECT_EQ(g.rowHeight, r.row) << r.s;
    EXPECT_DOUBLE_EQ(g.headerHeightFactor, r.factor) << r.s;
  }
}

}  // namespace
