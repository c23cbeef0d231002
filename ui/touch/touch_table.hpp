#pragma once
// The main window's touch channel table: its set-up by display scale, and the cell writes of the
// touch session landing in the CListCtrlCl.
#include "touch/table_writer.hpp"

class CListCtrlCl;

namespace touchui {

// Columns, colours, fonts and heights for the screen's scale (devicePixelRatio × logical DPI),
// then 24 empty grey rows.
void SetUpChannelTable(CListCtrlCl& list, double meanDpi, double devicePixelRatio);

class TableCells final : public touch::CellTarget {
 public:
  explicit TableCells(CListCtrlCl& list) : list_(list) {}
  int rowCount() const override;
  void setRowCount(int rows) override;
  void setCellText(int row, int column, const std::string& text) override;
  void setCellBackground(int row, int column, touch::Rgb colour) override;
  void setCellEditable(int row, int column) override;

 private:
  CListCtrlCl& list_;
};

}  // namespace touchui
