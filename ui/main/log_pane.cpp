#include "ui/main/log_pane.hpp"

#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>

CLogPane::CLogPane(QWidget* parent) : QTextEdit(parent) {
  setReadOnly(true);
  setAcceptRichText(false);
  setUndoRedoEnabled(false);
  setObjectName(QStringLiteral("log"));
}

void CLogPane::Log(const std::string& line) {
  QTextCharFormat format;
  format.setForeground(errorNext_ ? kError : kNormal);
  errorNext_ = false;
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  if (!document()->isEmpty()) cursor.insertBlock();
  cursor.insertText(QString::fromStdString(line), format);
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void CLogPane::Clear() {
  clear();
  errorNext_ = false;
}

QSize CLogPane::sizeHint() const {
  const int lines = 6 * fontMetrics().lineSpacing();
  return {QTextEdit::sizeHint().width(), lines + 2 * frameWidth() + 2 * static_cast<int>(document()->documentMargin())};
}
