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
#include "touch/serial_transport.hpp"
#include "touch/sample_history.hpp"
#include "touch/sample_recorder.hpp"
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
  // The rate the window's mode plan names; the box stays disabled, the link keeps its own rates.
  void ShowBaudIndex(int index);
  touch::TouchSession& Session() { return *session_; }
  // The serial transport over `link`, its timers 8 and 9 on `timers` (the window's).
  touch::SerialTransport& AttachSerialLink(touch::SerialLink& link, base::TimerService& timers);
  // A timer of the session fired: the panel's own, or the window's 8 and 9.
  void OnTimer(int id);
  // After a call from outside (a received byte, a port error) that may have ended the session.
  void NoteSessionChange();
  // The last seconds of samples, for the plot beside the table; samplesArrived tells of each one.
  const touch::SampleHistory& History() const { return history_; }

 signals:
  void sessionChanged(bool active);
  void samplesArrived();

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void paintEvent(QPaintEvent* event) override;

 private:
  class Sink;
  void applyButtons(const touch::ButtonStates& states);
  void applyPowerButton(bool offersPowerOn);
  void portChanged(int index);
  void thresholdCommitted(int row, int column, const QString& text);
  void sampleArrived(const touch::ChannelModel& model, base::Millis at);
  void recordToggled(bool on);

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
  QPushButton* record_ = nullptr;
  widgets::QtTimerService* timers_ = nullptr;
  std::unique_ptr<Sink> sink_;
  std::unique_ptr<touch::TouchSession> session_;
  touch::SampleHistory history_;
  // After the sink, whose log it writes to.
  std::unique_ptr<touch::SampleRecorder> recorder_;
  bool wasActive_ = false;
};
