#pragma once
// The channel table's operations as cell writes: two channels per row (even index in columns 0 to 4,
// odd index in 6 to 10, column 5 a spacer), names "TP<n>", value cells, the trigger colours of the
// key flags and the reference channel's row. The widget behind CellTarget only stores and paints.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "touch/channel_model.hpp"

namespace touch {

struct Rgb {
  std::uint8_t r = 0;
  std::uint8_t g = 0;
  std::uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

inline constexpr Rgb kCellGrey{0xB2, 0xB2, 0xB2};
inline constexpr Rgb kNameGreen{0x2D, 0xFC, 0x29};
inline constexpr Rgb kTriggeredRed{0xFF, 0x00, 0x00};
inline constexpr Rgb kValueWhite{0xFF, 0xFF, 0xFF};

inline constexpr int kTableColumns = 11;
inline constexpr int kTableRows = 24;
inline constexpr int kSpacerColumn = 5;

class CellTarget {
 public:
  virtual ~CellTarget() = default;
  virtual int rowCount() const = 0;
  virtual void setRowCount(int rows) = 0;
  virtual void setCellText(int row, int column, const std::string& text) = 0;
  virtual void setCellBackground(int row, int column, Rgb colour) = 0;
  virtual void setCellEditable(int row, int column) = 0;
};

class TableWriter {
 public:
  explicit TableWriter(CellTarget& cells) : cells_(cells) {}

  // Every cell grey and empty, on at least 24 rows and on as many as the channel count needs.
  void clear();
  void channelRow(std::size_t index, std::uint8_t number);
  void value(std::size_t index, Field field, std::int32_t value);
  // The count bounds the key-flag colouring; a new count forgets the remembered flags.
  void setChannelCount(std::size_t count);
  void keyFlags(std::uint64_t flags);
  void reference(Field field, std::int32_t value);

  static int rowOf(std::size_t index) { return static_cast<int>(index / 2); }
  static int columnOf(std::size_t index, Field field);
  static int nameColumnOf(std::size_t index) { return index % 2 == 0 ? 0 : 6; }
  // The channel index whose threshold a cell shows: column 4 → 2 × row, column 10 → 2 × row + 1.
  static std::optional<std::size_t> thresholdIndexAt(int row, int column);
  // Rows needed for `count` channels and the reference row.
  static int rowsFor(std::size_t count) { return static_cast<int>((count + 1) / 2) + 1; }

 private:
  CellTarget& cells_;
  std::size_t count_ = 0;
  std::uint64_t shownFlags_ = 0;
};

}  // namespace touch
