#pragma once
// An owner-drawn report list: every cell may carry its own background and text colour, a whole
// column may too (the cell wins), and chosen cells open an in-place edit box (at most 5
// characters) or a drop-down on a double-click. The viewport is drawn into Qt's back buffer on a
// dark background, so changed cells repaint alone without flicker; the header is a CHeaderCtrlCl.
#include <QColor>
#include <QFont>
#include <QTableWidget>

#include <functional>
#include <map>
#include <optional>
#include <utility>

class QComboBox;
class QLineEdit;
class CHeaderCtrlCl;

class CListCtrlCl : public QTableWidget {
  Q_OBJECT

 public:
  enum EditorKind { kNoEditor = 0, kEditBox = 1, kComboBox = 2, kComboBoxList = 3 };

  static inline const QColor kColumnGrey{0xB2, 0xB2, 0xB2};
  static inline const QColor kPaintBackground{0x21, 0x3B, 0x50};

  explicit CListCtrlCl(QWidget* parent = nullptr);

  // The whole column's background becomes grey; a cell's own colour still wins.
  void SetColColor(int column);
  void SetItemColor(int row, int column, QColor background);
  void SetItemTextColor(int row, int column, QColor colour);
  void SetCellEditable(int row, int column, EditorKind kind = kEditBox);
  void SetBkColor(QColor background);
  void SetTextColor(QColor colour);
  void SetFontHW(int height, int width);
  // 0 keeps the style's row height.
  void SetRowHeigt(int height);
  // Editing opens only while this says yes (the touch chip is connected); none: always.
  void SetEditAllowed(std::function<bool()> allowed) { editAllowed_ = std::move(allowed); }

  // What a cell shows, after the column and cell rules.
  QColor CellBackground(int row, int column) const;
  QColor CellTextColour(int row, int column) const;
  EditorKind CellEditor(int row, int column) const;

  CHeaderCtrlCl* Header() const { return header_; }
  QLineEdit* EditBox() const { return edit_; }
  QComboBox* ComboBox() const { return combo_; }
  std::pair<int, int> EditedCell() const { return {editRow_, editColumn_}; }

  // The edit box's text into the edited cell (at most 255 characters), the box hidden.
  void CommitEdit();
  void CommitCombo();

 signals:
  // A confirmed edit, sent only while editing is allowed.
  void cellCommitted(int row, int column, const QString& text);

 protected:
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class Delegate;
  struct Attribute {
    QColor columnBackground;
    QColor cellBackground;
    QColor columnText;
    QColor cellText;
    EditorKind editor = kNoEditor;
  };
  Attribute& attribute(int row, int column);
  const Attribute* find(int row, int column) const;
  bool editingAllowed() const { return !editAllowed_ || editAllowed_(); }
  void updateCell(int row, int column);

  // Keyed by (row, column); row −1 holds a whole column's entry.
  std::map<std::pair<int, int>, Attribute> attributes_;
  QColor background_{kColumnGrey};
  QColor textColour_{Qt::black};
  QFont cellFont_;
  int rowHeight_ = 0;
  CHeaderCtrlCl* header_ = nullptr;
  QLineEdit* edit_ = nullptr;
  QComboBox* combo_ = nullptr;
  int editRow_ = -1;
  int editColumn_ = -1;
  std::function<bool()> editAllowed_;
};
