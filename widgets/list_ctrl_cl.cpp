#include "widgets/list_ctrl_cl.hpp"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include <algorithm>

#include "widgets/header_ctrl_cl.hpp"

namespace {

constexpr int kEditMaxCharacters = 5;
constexpr int kCommitMaxCharacters = 255;
constexpr int kComboExtraHeight = 200;

}  // namespace

class CListCtrlCl::Delegate final : public QStyledItemDelegate {
 public:
  explicit Delegate(CListCtrlCl& list) : QStyledItemDelegate(&list), list_(list) {}

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
    const bool selected = (option.state & QStyle::State_Selected) != 0;
    const QColor fill = selected ? option.palette.color(QPalette::Highlight) : list_.CellBackground(index.row(), index.column());
    const QColor text =
        selected ? option.palette.color(QPalette::HighlightedText) : list_.CellTextColour(index.row(), index.column());
    painter->fillRect(option.rect, fill);
    painter->setFont(list_.cellFont_);
    painter->setPen(text);
    painter->drawText(option.rect, Qt::AlignCenter, index.data(Qt::DisplayRole).toString());
  }

 private:
  CListCtrlCl& list_;
};

CListCtrlCl::CListCtrlCl(QWidget* parent) : QTableWidget(parent) {
  setObjectName(QStringLiteral("listCtrlCl"));
  header_ = new CHeaderCtrlCl(this);
  setHorizontalHeader(header_);
  verticalHeader()->hide();
  setItemDelegate(new Delegate(*this));
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::NoSelection);
  setShowGrid(true);
  setGridStyle(Qt::SolidLine);
  setWordWrap(false);
  QPalette p = viewport()->palette();
  p.setColor(QPalette::Base, kPaintBackground);
  viewport()->setPalette(p);
  viewport()->setAutoFillBackground(true);
  SetFontHW(12, 0);

  edit_ = new QLineEdit(viewport());
  edit_->setObjectName(QStringLiteral("cellEditor"));
  edit_->setMaxLength(kEditMaxCharacters);
  edit_->setAlignment(Qt::AlignCenter);
  edit_->hide();
  connect(edit_, &QLineEdit::editingFinished, this, &CListCtrlCl::CommitEdit);

  combo_ = new QComboBox(viewport());
  combo_->setObjectName(QStringLiteral("cellCombo"));
  combo_->hide();
  combo_->installEventFilter(this);
  connect(combo_, &QComboBox::activated, this, &CListCtrlCl::CommitCombo);
}

CListCtrlCl::Attribute& CListCtrlCl::attribute(int row, int column) { return attributes_[{row, column}]; }

const CListCtrlCl::Attribute* CListCtrlCl::find(int row, int column) const {
  const auto it = attributes_.find({row, column});
  return it == attributes_.end() ? nullptr : &it->second;
}

void CListCtrlCl::updateCell(int row, int column) {
  if (row < 0) {
    viewport()->update();
    return;
  }
  viewport()->update(visualRect(model()->index(row, column)));
}

void CListCtrlCl::SetColColor(int column) {
  attribute(-1, column).columnBackground = kColumnGrey;
  updateCell(-1, column);
}

void CListCtrlCl::SetItemColor(int row, int column, QColor background) {
  Attribute& a = attribute(row, column);
  if (a.cellBackground == background) return;
  a.cellBackground = background;
  updateCell(row, column);
}

void CListCtrlCl::SetItemTextColor(int row, int column, QColor colour) {
  attribute(row, column).cellText = colour;
  updateCell(row, column);
}

void CListCtrlCl::SetCellEditable(int row, int column, EditorKind kind) { attribute(row, column).editor = kind; }

void CListCtrlCl::SetBkColor(QColor background) {
  background_ = background;
  viewport()->update();
}

void CListCtrlCl::SetTextColor(QColor colour) {
  textColour_ = colour;
  viewport()->update();
}

void CListCtrlCl::SetFontHW(int height, int width) {
  cellFont_ = SongTiFont();
  cellFont_.setPixelSize(std::max(height, 1));
  if (width > 0) cellFont_.setStretch(std::clamp(width * 200 / std::max(height, 1), 1, 4000));
  if (edit_ != nullptr) edit_->setFont(cellFont_);
  viewport()->update();
}

void CListCtrlCl::SetRowHeigt(int height) {
  rowHeight_ = height;
  if (height > 0) {
    verticalHeader()->setMinimumSectionSize(1);
    verticalHeader()->setDefaultSectionSize(height);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  }
}

QColor CListCtrlCl::CellBackground(int row, int column) const {
  QColor c = background_;
  if (const Attribute* col = find(-1, column); col != nullptr && col->columnBackground.isValid()) c = col->columnBackground;
  if (const Attribute* cell = find(row, column); cell != nullptr && cell->cellBackground.isValid()) c = cell->cellBackground;
  return c;
}

QColor CListCtrlCl::CellTextColour(int row, int column) const {
  QColor c = textColour_;
  if (const Attribute* col = find(-1, column); col != nullptr && col->columnText.isValid()) c = col->columnText;
  if (const Attribute* cell = find(row, column); cell != nullptr && cell->cellText.isValid()) c = cell->cellText;
  return c;
}

CListCtrlCl::EditorKind CListCtrlCl::CellEditor(int row, int column) const {
  if (const Attribute* cell = find(row, column); cell != nullptr && cell->editor != kNoEditor) return cell->editor;
  if (const Attribute* col = find(-1, column); col != nullptr) return col->editor;
  return kNoEditor;
}

void CListCtrlCl::mouseDoubleClickEvent(QMouseEvent* event) {
  const QModelIndex index = event->button() == Qt::LeftButton ? indexAt(event->position().toPoint()) : QModelIndex();
  if (index.isValid()) {
    editRow_ = index.row();
    editColumn_ = index.column();
    const bool nameColumn = editColumn_ == 0 || editColumn_ == 6;
    const EditorKind kind = CellEditor(editRow_, editColumn_);
    if (!nameColumn && editingAllowed() && kind != kNoEditor) {
      const QRect cell = visualRect(index);
      const QString text = index.data(Qt::DisplayRole).toString();
      if (kind == kEditBox) {
        edit_->setGeometry(cell);
        edit_->setText(text);
        edit_->show();
        edit_->setFocus();
        edit_->setCursorPosition(static_cast<int>(edit_->text().size()));
      } else {
        combo_->setGeometry(cell.adjusted(0, 0, 0, kComboExtraHeight));
        combo_->setCurrentText(text);
        combo_->show();
        combo_->setFocus();
      }
    }
  }
  QTableWidget::mouseDoubleClickEvent(event);
}

void CListCtrlCl::CommitEdit() {
  if (edit_->isHidden()) return;
  const QString text = edit_->text().left(kCommitMaxCharacters);
  edit_->hide();
  if (editRow_ < 0 || editRow_ >= rowCount() || editColumn_ < 0 || editColumn_ >= columnCount()) return;
  QTableWidgetItem* it = item(editRow_, editColumn_);
  if (it == nullptr) setItem(editRow_, editColumn_, it = new QTableWidgetItem);
  it->setText(text);
  if (editingAllowed()) emit cellCommitted(editRow_, editColumn_, text);
}

void CListCtrlCl::CommitCombo() {
  if (combo_->isHidden()) return;
  combo_->hide();
  if (editRow_ < 0 || editRow_ >= rowCount() || editColumn_ < 0 || editColumn_ >= columnCount()) return;
  QTableWidgetItem* it = item(editRow_, editColumn_);
  if (it == nullptr) setItem(editRow_, editColumn_, it = new QTableWidgetItem);
  it->setText(combo_->currentText());
}

bool CListCtrlCl::eventFilter(QObject* watched, QEvent* event) {
  if (watched == combo_ && event->type() == QEvent::FocusOut && !combo_->view()->isVisible()) CommitCombo();
  return QTableWidget::eventFilter(watched, event);
}
