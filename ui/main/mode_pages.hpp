#pragma once
// Pages that have no content of their own in the main window yet: a mode panel shows its title
// until its own panel replaces it; the touch graph page is empty by design.
#include <QWidget>

class QLabel;

class CModePage : public QWidget {
  Q_OBJECT

 public:
  explicit CModePage(const QString& title, QWidget* parent = nullptr);
};

// The page beside the touch channel table in Touch debug mode.
class CTOUCH_DISPLAY : public QWidget {
  Q_OBJECT

 public:
  explicit CTOUCH_DISPLAY(QWidget* parent = nullptr);
};
