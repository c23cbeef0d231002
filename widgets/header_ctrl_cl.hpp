#pragma once
// A painted list header: every item filled one pixel row at a time with a gradient that starts at
// a colour and loses `step` per row in each component, centred text in its own font and colour, a
// height that is the style's times a factor, and leading columns that cannot be resized.
#include <QColor>
#include <QHeaderView>

// "宋体" where the system has it, else the closest CJK face, whose Latin letters are as narrow.
QFont SongTiFont();

class CHeaderCtrlCl : public QHeaderView {
  Q_OBJECT

 public:
  explicit CHeaderCtrlCl(QWidget* parent = nullptr);

  void SetGradientStart(QColor start);
  void SetGradientStep(int step);
  void SetHeightFactor(double factor);
  // Pixel height and average width (0: the font's own) of the "宋体" header font.
  void SetHeaderFont(int height, int width);
  void SetTextColor(QColor colour);
  // Items below `count` keep their width whatever the mouse does.
  void SetFixedColumns(int count);

  int FixedColumns() const { return fixedColumns_; }
  QColor GradientStart() const { return start_; }
  int GradientStep() const { return step_; }
  double HeightFactor() const { return heightFactor_; }
  // The colour of pixel row `y` (from the top) of an item.
  QColor GradientAt(int y) const;

  QSize sizeHint() const override;

 protected:
  void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
  void paintEvent(QPaintEvent* event) override;

 private:
  void fillGradient(QPainter& painter, const QRect& rect) const;
  void applyFixedColumns();

  QColor start_{171, 199, 235};
  int step_ = 8;
  double heightFactor_ = 1.4;
  QFont headerFont_;
  QColor textColour_{255, 0, 0};
  int fixedColumns_ = 2;
};
