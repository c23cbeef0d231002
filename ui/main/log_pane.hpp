#pragma once
// The coloured log of the main window: one line per call, green, or red for the one line after
// the error colour was asked for.
#include <QTextEdit>

#include <string>

class CLogPane : public QTextEdit {
  Q_OBJECT

 public:
  static inline const QColor kNormal{0x00, 0x80, 0x40};
  static inline const QColor kError{0xFF, 0x00, 0x00};

  explicit CLogPane(QWidget* parent = nullptr);

  // Sets the one-shot error colour for the next line.
  void SetErrorColour() { errorNext_ = true; }
  void Log(const std::string& line);
  void Clear();
  // Room for six lines: the notes of a mode fit without scrolling.
  QSize sizeHint() const override;

 private:
  bool errorNext_ = false;
};
