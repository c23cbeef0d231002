#include "ui/serial/receive_pane.hpp"

#include <QAction>
#include <QContextMenuEvent>
#include <QDesktopServices>
#include <QLineEdit>
#include <QMenu>
#include <QRegularExpression>
#include <QScrollBar>
#include <QShortcut>
#include <QTextBlock>
#include <QUrl>

#include "base/texts.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Carriage returns would show as boxes; the line feeds already break the lines.
QString paneText(const std::string& text) {
  QString s = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  s.remove(QLatin1Char('\r'));
  return s;
}

const QRegularExpression& urlPattern() {
  static const QRegularExpression kUrl(QStringLiteral(R"((?:https?|ftp)://[^\s<>"]+|www\.[^\s<>"]+)"));
  return kUrl;
}

}  // namespace

CReceivePane::CReceivePane(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName(QStringLiteral("receiveView"));
  setReadOnly(true);
  setUndoRedoEnabled(false);
  QFont font(QStringLiteral("SimSun"));
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), QStringLiteral("WenQuanYi Micro Hei Mono"),
                    QStringLiteral("Monospace")});
  font.setStyleHint(QFont::TypeWriter);
  font.setPointSize(9);
  setFont(font);
  QPalette p = palette();
  p.setColor(QPalette::Text, Qt::black);
  setPalette(p);

  flushTimer_.setSingleShot(true);
  flushTimer_.setInterval(1000 / kFlushesPerSecond);
  connect(&flushTimer_, &QTimer::timeout, this, &CReceivePane::flush);

  searchBar_ = new QLineEdit;
  searchBar_->setObjectName(QStringLiteral("receiveSearch"));
  searchBar_->setPlaceholderText(qs(base::text("serial.find")));
  searchBar_->setClearButtonEnabled(true);
  searchBar_->hide();
  connect(searchBar_, &QLineEdit::returnPressed, this, &CReceivePane::findNext);
  auto* find = new QShortcut(QKeySequence::Find, this);
  connect(find, &QShortcut::activated, this, &CReceivePane::showSearch);
  auto* close = new QShortcut(QKeySequence(Qt::Key_Escape), searchBar_);
  connect(close, &QShortcut::activated, searchBar_, &QWidget::hide);
}

void CReceivePane::apply(const terminal::DisplayUpdate& update) {
  if (update.replaced) {
    pending_.replaced = true;
    pending_.replacement = paneText(update.replacement);
    pending_.runs.clear();
  }
  for (const terminal::DisplayRun& run : update.runs) {
    const QString text = paneText(run.text);
    if (!pending_.runs.empty() && pending_.runs.back().second == run.header) {
      pending_.runs.back().first += text;
    } else {
      pending_.runs.emplace_back(text, run.header);
    }
  }
  if (!flushTimer_.isActive()) flushTimer_.start();
}

void CReceivePane::insertRun(QTextCursor& cursor, const QString& text, bool header) {
  QTextCharFormat format;
  format.setForeground(header ? QColor(255, 0, 0) : QColor(Qt::black));
  QString broken;
  broken.reserve(text.size() + text.size() / kLongLine + 1);
  for (const QChar c : text) {
    broken += c;
    lineLength_ = c == QLatin1Char('\n') ? 0 : lineLength_ + 1;
    if (lineLength_ >= kLongLine && c == QLatin1Char(' ')) {
      broken += QLatin1Char('\n');
      lineLength_ = 0;
    }
  }
  cursor.insertText(broken, format);
}

void CReceivePane::flush() {
  flushTimer_.stop();
  if (!pending_.replaced && pending_.runs.empty()) return;
  ++flushes_;
  if (pending_.replaced) {
    clear();
    lineLength_ = 0;
  }
  QTextCursor cursor(document());
  cursor.movePosition(QTextCursor::End);
  cursor.beginEditBlock();
  if (pending_.replaced && !pending_.replacement.isEmpty()) insertRun(cursor, pending_.replacement, false);
  for (const auto& [text, header] : pending_.runs) insertRun(cursor, text, header);
  cursor.endEditBlock();
  pending_ = {};
  verticalScrollBar()->setValue(verticalScrollBar()->maximum());
}

void CReceivePane::showSearch() {
  searchBar_->show();
  searchBar_->setFocus();
  searchBar_->selectAll();
}

bool CReceivePane::findNext() {
  const QString text = searchBar_->text();
  if (text.isEmpty()) return false;
  if (find(text)) return true;
  moveCursor(QTextCursor::Start);
  return find(text);
}

void CReceivePane::contextMenuEvent(QContextMenuEvent* event) {
  QMenu menu(this);
  QAction* copyAction = menu.addAction(qs(base::text(166)), this, &QPlainTextEdit::copy);
  copyAction->setEnabled(textCursor().hasSelection());
  menu.addAction(qs(base::text(167)), this, &QPlainTextEdit::selectAll);
  menu.addSeparator();
  menu.addAction(qs(base::text(168)), this, [this] {
    pending_ = {};
    clear();
    lineLength_ = 0;
    emit emptied();
  });
  menu.exec(event->globalPos());
}

void CReceivePane::mouseReleaseEvent(QMouseEvent* event) {
  QPlainTextEdit::mouseReleaseEvent(event);
  if (event->button() != Qt::LeftButton || textCursor().hasSelection()) return;
  const QTextCursor at = cursorForPosition(event->position().toPoint());
  const QTextBlock block = at.block();
  const int column = at.position() - block.position();
  auto matches = urlPattern().globalMatch(block.text());
  while (matches.hasNext()) {
    const QRegularExpressionMatch m = matches.next();
    if (column < m.capturedStart() || column > m.capturedEnd()) continue;
    QString url = m.captured();
    if (url.startsWith(QStringLiteral("www."))) url.prepend(QStringLiteral("http://"));
    QDesktopServices::openUrl(QUrl(url));
    return;
  }
}
