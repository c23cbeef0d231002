#pragma once
// UartComSetDlg: the serial port settings of the ISP path, opened from the ISP panel. Each choice
// lands in the window's settings at once (the engine takes the upgrade baud and the RC choice from
// there); the button opens or closes the window's one port.
#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QPushButton;
class CQX58KT_UPGRADEDlg;

class UartComSetDlg : public QDialog {
  Q_OBJECT

 public:
  explicit UartComSetDlg(CQX58KT_UPGRADEDlg& window, QWidget* parent = nullptr);

  // Closes an open port, opens a closed one at the shared baud rate.
  void toggleOpen();

 private:
  void fillPorts();
  void showOpenState();
  void store();

  CQX58KT_UPGRADEDlg& window_;
  QComboBox* port_ = nullptr;
  QComboBox* upgradeBaud_ = nullptr;
  QCheckBox* calibrateRc_ = nullptr;
  QComboBox* programmingType_ = nullptr;
  QPushButton* openButton_ = nullptr;
  QLabel* statusIcon_ = nullptr;
};
