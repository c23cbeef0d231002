#include "touch/table_writer.hpp"

#include <algorithm>

namespace touch {

int TableWriter::columnOf(std::size_t index, Field field) {
  const int first = index % 2 == 0 ? 0 : 6;
  switch (field) {
    case Field::Current:
      return first + 1;
    case Field::Baseline:
      return first + 2;
    case Field::Difference:
      return first + 3;
    case Field::Threshold:
      break;
  }
  return first + 4;
}

std::optional<std::size_t> TableWriter::thresholdIndexAt(int row, int column) {
  if (row < 0) return std::nullopt;
  if (column == 4) return static_cast<std::size_t>(row) * 2;
  if (column == 10) return static_cast<std::size_t>(row) * 2 + 1;
  return std::nullopt;
}

void TableWriter::clear() {
  const int rows = std::max(kTableRows, rowsFor(count_));
  if (cells_.rowCount() != rows) cells_.setRowCount(rows);
  for (int r = 0; r < rows; ++r) {
    for (int c = 0; c < kTableColumns; ++c) {
      cells_.setCellBackground(r, c, kCellGrey);
      cells_.setCellText(r, c, std::string());
    }
  }
}

void TableWriter::channelRow(std::size_t index, std::uint8_t number) {
  const int row = rowOf(index);
  if (row >= cells_.rowCount()) cells_.setRowCount(row + 1);
  const int name = nameColumnOf(index);
  cells_.setCellText(row, name, "TP" + std::to_string(number));
  for (int c = name + 1; c <= name + 4; ++c) {
    cells_.setCellText(row, c, "0");
    cells_.setCellBackground(row, c, kValueWhite);
  }
  if (index % 2 == 0) cells_.setCellText(row, kSpacerColumn, "    ");
  cells_.setCellBackground(row, name, kNameGreen);
  cells_.setCellEditable(row, name + 4);
}

void TableWriter::value(std::size_t index, Field field, std::int32_t value) {
  const int row = rowOf(index);
  if (row >= cells_.rowCount()) return;
  cells_.setCellText(row, columnOf(index, field), std::to_string(value));
}

void TableWriter::setChannelCount(std::size_t count) {
  count_ = count;
  shownFlags_ = 0;
}

void TableWriter::keyFlags(std::uint64_t flags) {
  if (flags == shownFlags_) return;
  const std::size_t bits = std::min<std::size_t>(count_, 64);
  for (std::size_t i = 0; i < bits; ++i) {
    const bool now = (flags >> i & 1U) != 0;
    const bool before = (shownFlags_ >> i & 1U) != 0;
    if (now == before || rowOf(i) >= cells_.rowCount()) continue;
    cells_.setCellBackground(rowOf(i), nameColumnOf(i), now ? kTriggeredRed : kNameGreen);
  }
  shownFlags_ = flags;
}

void TableWriter::reference(Field field, std::int32_t value) {
  if (!referenceShown(value)) return;
  const int row = count_ == 0 ? 0 : static_cast<int>((count_ - 1) / 2) + 1;
  if (row >= cells_.rowCount()) cells_.setRowCount(row + 1);
  cells_.setCellText(row, 0, "TP_REF");
  cells_.setCellText(row, columnOf(0, field), std::to_string(value));
  cells_.setCellBackground(row, 0, kNameGreen);
  for (int c = 1; c <= 3; ++c) cells_.setCellBackground(row, c, kValueWhite);
}

}  // namespace touch
