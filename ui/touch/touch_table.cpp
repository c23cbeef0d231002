#include "ui/touch/touch_table.hpp"

#include <QHeaderView>
#include <QScrollBar>

#include <algorithm>

#include "base/texts.hpp"
#include "touch/table_geometry.hpp"
#include "widgets/header_ctrl_cl.hpp"
#include "widgets/list_ctrl_cl.hpp"

namespace touchui {
namespace {

// Sizes in the table are physical pixels at the display's scale; Qt lays out in logical ones.
int logical(int physical, double ratio) { return std::max(1, static_cast<int>(physical / ratio)); }

}  // namespace

void SetUpChannelTable(CListCtrlCl& list, double meanDpi, double devicePixelRatio) {
  const double ratio = std::max(devicePixelRatio, 1.0);
  const touch::TableGeometry g = touch::tableGeometry(touch::displayScale(meanDpi * ratio));
  list.SetColColor(0);
  list.SetColColor(6);
  list.SetBkColor(CListCtrlCl::kColumnGrey);
  CHeaderCtrlCl* header = list.Header();
  header->SetGradientStart(QColor(0, 0, 255));
  header->SetGradientStep(1);
  header->SetTextColor(Qt::white);
  header->SetHeaderFont(logical(g.headerFontHeight, ratio), 0);
  header->SetHeightFactor(g.headerHeightFactor);

  list.setColumnCount(touch::kTableColumns);
  const int titles[] = {143, 144, 145, 146, 147};
  for (int c = 0; c < touch::kTableColumns; ++c) {
    const QString title = c == touch::kSpacerColumn ? QStringLiteral("     ")
                                                     : QString::fromStdString(base::text(titles[c % 6]));
    list.setHorizontalHeaderItem(c, new QTableWidgetItem(title));
    list.setColumnWidth(c, logical(g.columnWidth(c), ratio));
  }
  header->SetFixedColumns(touch::kTableColumns);
  header->setStretchLastSection(false);
  list.SetFontHW(logical(g.cellFontHeight, ratio), 0);
  list.SetRowHeigt(logical(g.rowHeight, ratio));

  // The whole table is wide enough for all eleven columns; rows beyond the area scroll.
  int width = 2 * list.frameWidth() + list.verticalScrollBar()->sizeHint().width();
  for (int c = 0; c < touch::kTableColumns; ++c) width += list.columnWidth(c);
  list.setMinimumWidth(width);
  list.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  TableCells cells(list);
  touch::TableWriter(cells).clear();
}

int TableCells::rowCount() const { return list_.rowCount(); }

void TableCells::setRowCount(int rows) {
  const int before = list_.rowCount();
  list_.setRowCount(rows);
  for (int r = before; r < rows; ++r) {
    for (int c = 0; c < list_.columnCount(); ++c) list_.setItem(r, c, new QTableWidgetItem);
  }
}

void TableCells::setCellText(int row, int column, const std::string& text) {
  QTableWidgetItem* it = list_.item(row, column);
  if (it == nullptr) list_.setItem(row, column, it = new QTableWidgetItem);
  const QString value = QString::fromStdString(text);
  if (it->text() != value) it->setText(value);
}

void TableCells::setCellBackground(int row, int column, touch::Rgb colour) {
  list_.SetItemColor(row, column, QColor(colour.r, colour.g, colour.b));
}

void TableCells::setCellEditable(int row, int column) { list_.SetCellEditable(row, column); }

}  // namespace touchui
