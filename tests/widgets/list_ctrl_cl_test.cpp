// The owner-drawn list and its header: colour rules, the fixed header, and the in-place editor.
#include <QLineEdit>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include "widgets/header_ctrl_cl.hpp"
#include "widgets/list_ctrl_cl.hpp"

namespace {

struct ListFixture {
  ListFixture() {
    list.setColumnCount(11);
    list.setRowCount(4);
    for (int c = 0; c < 11; ++c) list.setHorizontalHeaderItem(c, new QTableWidgetItem(QString::number(c)));
    for (int r = 0; r < 4; ++r) {
      for (int c = 0; c < 11; ++c) list.setItem(r, c, new QTableWidgetItem(QStringLiteral("0")));
    }
    list.resize(900, 300);
    list.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&list));
  }
  void doubleClick(int row, int column) {
    const QRect cell = list.visualRect(list.model()->index(row, column));
    QTest::mouseDClick(list.viewport(), Qt::LeftButton, {}, cell.center());
  }
  CListCtrlCl list;
};

TEST(ListCtrlCl, CellColourBeatsColumnColourWhichBeatsTheBackground) {
  ListFixture f;
  f.list.SetBkColor(QColor(1, 2, 3));
  EXPECT_EQ(f.list.CellBackground(1, 4), QColor(1, 2, 3));
  f.list.SetColColor(4);
  EXPECT_EQ(f.list.CellBackground(1, 4), CListCtrlCl::kColumnGrey);
  f.list.SetItemColor(1, 4, QColor(255, 0, 0));
  EXPECT_EQ(f.list.CellBackground(1, 4), QColor(255, 0, 0));
  EXPECT_EQ(f.list.CellBackground(2, 4), CListCtrlCl::kColumnGrey);
  f.list.SetTextColor(Qt::blue);
  f.list.SetItemTextColor(1, 4, Qt::white);
  EXPECT_EQ(f.list.CellTextColour(1, 4), QColor(Qt::white));
  EXPECT_EQ(f.list.CellTextColour(2, 4), QColor(Qt::blue));
  // The painted pixel agrees.
  const QImage shot = f.list.viewport()->grab().toImage();
  const QRect cell = f.list.visualRect(f.list.model()->index(1, 4));
  EXPECT_EQ(shot.pixelColor(cell.left() + 3, cell.top() + 3), QColor(255, 0, 0));
  const QRect other = f.list.visualRect(f.list.model()->index(2, 4));
  EXPECT_EQ(shot.pixelColor(other.left() + 3, other.top() + 3), CListCtrlCl::kColumnGrey);
}

TEST(ListCtrlCl, FixedHeaderColumnsCannotBeDragged) {
  ListFixture f;
  f.list.Header()->SetFixedColumns(11);
  for (int column : {0, 5, 10}) {
    const int before = f.list.Header()->sectionSize(column);
    const int edge = f.list.Header()->sectionViewportPosition(column) + before - 1;
    const int y = f.list.Header()->height() / 2;
    QTest::mousePress(f.list.Header()->viewport(), Qt::LeftButton, {}, QPoint(edge, y));
    QTest::mouseMove(f.list.Header()->viewport(), QPoint(edge + 40, y));
    QTest::mouseRelease(f.list.Header()->viewport(), Qt::LeftButton, {}, QPoint(edge + 40, y));
    EXPECT_EQ(f.list.Header()->sectionSize(column), before) << column;
  }
}

TEST(ListCtrlCl, EditorOpensOnlyWhileAllowedAndNeverInTheNameColumns) {
  ListFixture f;
  bool connected = false;
  f.list.SetEditAllowed([&] { return connected; });
  f.list.SetCellEditable(1, 4);
  f.list.SetCellEditable(1, 0);
  f.doubleClick(1, 4);
  EXPECT_TRUE(f.list.EditBox()->isHidden());
  EXPECT_EQ(f.list.EditedCell(), std::make_pair(1, 4));
  connected = true;
  f.doubleClick(1, 0);
  EXPECT_TRUE(f.list.EditBox()->isHidden());
  f.doubleClick(1, 3);  // not editable
  EXPECT_TRUE(f.list.EditBox()->isHidden());
  f.doubleClick(1, 4);
  EXPECT_FALSE(f.list.EditBox()->isHidden());
  EXPECT_EQ(f.list.EditBox()->text(), QStringLiteral("0"));
  EXPECT_EQ(f.list.EditBox()->cursorPosition(), 1);
}

TEST(ListCtrlCl, AtMostFiveCharactersCommittedOnEnterAndOnFocusLoss) {
  ListFixture f;
  f.list.SetCellEditable(2, 10);
  QSignalSpy committed(&f.list, &CListCtrlCl::cellCommitted);
  f.doubleClick(2, 10);
  ASSERT_FALSE(f.list.EditBox()->isHidden());
  f.list.EditBox()->clear();
  QTest::keyClicks(f.list.EditBox(), QStringLiteral("123456"));
  EXPECT_EQ(f.list.EditBox()->text(), QStringLiteral("12345"));
  QTest::keyClick(f.list.EditBox(), Qt::Key_Return);
  EXPECT_TRUE(f.list.EditBox()->isHidden());
  EXPECT_EQ(f.list.item(2, 10)->text(), QStringLiteral("12345"));
  ASSERT_EQ(committed.size(), 1);
  EXPECT_EQ(committed[0][0].toInt(), 2);
  EXPECT_EQ(committed[0][1].toInt(), 10);

  f.doubleClick(2, 10);
  f.list.EditBox()->setText(QStringLiteral("77"));
  f.list.setFocus();  // focus leaves the box
  EXPECT_TRUE(f.list.EditBox()->isHidden());
  EXPECT_EQ(f.list.item(2, 10)->text(), QStringLiteral("77"));
  EXPECT_EQ(committed.size(), 2);
}

TEST(ListCtrlCl, CommitWhileNotAllowedChangesOnlyTheText) {
  ListFixture f;
  bool connected = true;
  f.list.SetEditAllowed([&] { return connected; });
  f.list.SetCellEditable(0, 4);
  QSignalSpy committed(&f.list, &CListCtrlCl::cellCommitted);
  f.doubleClick(0, 4);
  f.list.EditBox()->setText(QStringLiteral("9"));
  connected = false;  // the chip went away while the box was open
  f.list.CommitEdit();
  EXPECT_EQ(f.list.item(0, 4)->text(), QStringLiteral("9"));
  EXPECT_EQ(committed.size(), 0);
}

TEST(HeaderCtrlCl, GradientLosesTheStepPerRowNeverBelowZero) {
  CHeaderCtrlCl header;
  header.SetGradientStart(QColor(0, 0, 255));
  header.SetGradientStep(1);
  EXPECT_EQ(header.GradientAt(0), QColor(0, 0, 255));
  EXPECT_EQ(header.GradientAt(10), QColor(0, 0, 245));
  header.SetGradientStart(QColor(171, 199, 235));
  header.SetGradientStep(8);
  EXPECT_EQ(header.GradientAt(22), QColor(0, 23, 59));
}

}  // namespace
