#pragma once
// The Touch debug panel of the mode tab: the port and baud boxes, Connect, Run, Stop, Save and the
// power button over a touch::TouchSession, whose table operations land in the main window's
// channel table. The 10 ms poll runs on this panel's timer 1.
#include <QPointer>
#include <QWidget>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/report.hpp"
#include "touch/session.hpp"

class QComboBox;
class QLabel;
class QPushButton;
class CListCtrlCl;

namespace widgets {
class QtTimerService;
}

class CTouchModeDlg : public QWidget {
  Q_OBJECT

 public:
  struct Hooks {
    std::function<void(const std::string& line, bool error)> log;
    std::function<void(const std::string& text, const std::string& caption, base::MessageIcon icon)> message;
    // The serial port names the window knows; "USB" is added when missing.
    std::function<std::vector<std::string>()> portNames;
    // Shows an exported file; by default the desktop's handler opens it.
    std::function<void(const std::string& path)> openFile;
  };

  CTouchModeDlg(CListCtrlCl& table, Hooks hooks, touch::ToolFinder finder, QWidget* parent = nullptr);
  ~CTouchModeDlg() override;

  bool SessionActive() const;
  // The window leaves Touch debug mode.
  void EndSession();
  void RefreshPorts();
  touch::TouchSession& Session() { return *session_; }

 signals:
  void sessionChanged(bool active);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  class Sink;
  void applyButtons(const touch::ButtonStates& states);
  void applyPowerButton(bool offersPowerOn);
  void portChanged(int index);
  void thresholdCommitted(int row, int column, const QString& text);

  // The window's table may be destroyed before this panel.
  QPointer<CListCtrlCl> table_;
  Hooks hooks_;
  QLabel* title_ = nullptr;
  QComboBox* portBox_ = nullptr;
  QComboBox* baudBox_ = nullptr;
  QPushButton* connect_ = nullptr;
  QPushButton* run_ = nullptr;
  QPushButton* stop_ = nullptr;
  QPushButton* save_ = nullptr;
  QPushButton* power_ = nullptr;
  widgets::QtTimerService* timers_ = nullptr;
  std::unique_ptr<Sink> sink_;
  std::unique_ptr<touch::TouchSession> session_;
  bool wasActive_ = false;
};
