#pragma once
// The serial assistant's receive pane: read-only, SimSun 9 pt, red packet headers, URLs opened
// when clicked, a context menu with "&Copy", "Select &All" and "&Empty", and search (Ctrl+F).
// The terminal's changes are gathered and shown in batches, at most kFlushesPerSecond a second,
// never one widget update per byte.
#include <QPlainTextEdit>
#include <QTimer>

#include "terminal/receive_display.hpp"

class QLineEdit;

class CReceivePane : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr int kFlushesPerSecond = 25;
  // A line longer than this continues on a new line of the pane at its next blank: the pane lays
  // out only the lines in sight, but always a whole line, and a fast stream makes lines of many
  // kilobytes that would be laid out again at every flush.
  static constexpr int kLongLine = 4096;

  explicit CReceivePane(QWidget* parent = nullptr);

  // Queues a change; it appears with the next flush.
  void apply(const terminal::DisplayUpdate& update);
  // Shows what is queued now.
  void flush();
  int flushes() const { return flushes_; }

  // The search bar above the pane belongs to whoever lays it out.
  QLineEdit* searchBar() const { return searchBar_; }
  void showSearch();
  // Finds the search text after the cursor, starting over from the top when nothing follows.
  bool findNext();

 signals:
  // "&Empty" of the context menu: the pane's text only.
  void emptied();

 protected:
  void contextMenuEvent(QContextMenuEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;

 private:
  struct Pending {
    bool replaced = false;
    QString replacement;
    std::vector<std::pair<QString, bool>> runs;  // text, header
  };
  void insertRun(QTextCursor& cursor, const QString& text, bool header);
  int lineLength_ = 0;  // characters on the pane's last line

  Pending pending_;
  QTimer flushTimer_;
  QLineEdit* searchBar_ = nullptr;
  int flushes_ = 0;
};
