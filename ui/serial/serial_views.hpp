#pragma once
// The main window's part of the serial assistant, shown only in its mode: the receive pane with
// its search bar, the send line and "&Send". The serial panel drives them.
#include <QWidget>

class QPlainTextEdit;
class QPushButton;
class CReceivePane;

class CSerialViews : public QWidget {
  Q_OBJECT

 public:
  explicit CSerialViews(QWidget* parent = nullptr);

  CReceivePane* receivePane() const { return receive_; }
  QPlainTextEdit* sendLine() const { return send_; }
  QPushButton* sendButton() const { return sendButton_; }

 private:
  CReceivePane* receive_ = nullptr;
  QPlainTextEdit* send_ = nullptr;
  QPushButton* sendButton_ = nullptr;
};
