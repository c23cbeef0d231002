#pragma once
// The serial assistant's panel (mode 3): port and rate, open/close, the receive and send options,
// Empty Data and Save Data. A thin view over terminal::TerminalCore; the receive pane, the send
// line and "&Send" are the window's (CSerialViews) and are driven from here.
//
// Without Host::port the panel has a line of its own (terminal::SerialPortLink), and without
// Host::timers a timer service of its own. Given the window's shared port and timers instead, the
// window feeds it received bytes through onBytes(), a lost line through onPortLost() and timer 11
// through onTimer().
#include <QTimer>
#include <QWidget>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "base/report.hpp"
#include "isp/port_list.hpp"
#include "terminal/serial_port_link.hpp"
#include "terminal/terminal_core.hpp"
#include "ui/main/tool_settings.hpp"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class CSerialViews;

namespace widgets {
class QtTimerService;
}

class UartTestDlg : public QWidget, public terminal::TerminalSink {
  Q_OBJECT

 public:
  // What the panel needs of the window; every member has a sound default but `settings`.
  struct Host {
    mainwin::ToolSettings* settings = nullptr;
    terminal::TerminalPort* port = nullptr;
    base::TimerService* timers = nullptr;
    std::function<void()> saveSettings;
    std::function<void(const std::string& line, base::LogColour colour)> log;
    std::function<void(const std::string& text, const std::string& caption, base::MessageIcon icon)> message;
    std::function<void(bool on)> setTopmost;
    std::function<void(const std::filesystem::path& file)> openFile;
    std::function<std::optional<std::filesystem::path>()> chooseLogFile;
    std::function<std::vector<isp::PortInfo>()> listPorts;
  };

  UartTestDlg(Host host, CSerialViews* views, QWidget* parent = nullptr);
  ~UartTestDlg() override;

  // The window's settings were (re)read: show and use them.
  void reloadSettings();
  // The window's mode switch.
  void enterMode();
  void leaveMode();

  // Received bytes in the order they came, from whoever reads the line.
  void onBytes(std::span<const std::uint8_t> bytes);
  void onTimer(int id) { core_.onTimer(id); }
  void onPortLost() { core_.onPortLost(); }

  terminal::TerminalCore& core() { return core_; }
  bool topmost() const;
  // Chooses a port and a rate as the boxes would (the rate may be any the line takes).
  void selectPort(const std::string& path);
  void selectBaud(int rate);
  std::string portPath() const;
  void refreshPorts();

  // Received bytes are taken from the panel's own line at most this often; each chunk keeps the
  // time the reader saw it, so packets are split as they arrived.
  static constexpr int kDeliverIntervalMs = 10;

  // terminal::TerminalSink
  void onLog(const std::string& line, base::LogColour colour) override;
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override;
  void onDisplay(const terminal::DisplayUpdate& update) override;
  void onPortOpenChanged(bool open) override;
  void onTimedSendChanged(bool on) override;
  void onSaved(const std::filesystem::path& file) override;

 private:
  void buildControls();
  void connectControls();
  void showSettings();
  void storeSettings();
  void portChosen(int index);
  void baudChosen();
  void logToFileToggled(bool on);
  std::string sendText() const;

  Host host_;
  CSerialViews* views_;
  std::unique_ptr<widgets::QtTimerService> ownTimers_;
  std::unique_ptr<terminal::SerialPortLink> ownLink_;
  terminal::SystemLocalClock clock_;
  terminal::TerminalPort& port_;
  base::TimerService& timers_;
  terminal::TerminalCore core_;
  std::vector<isp::PortInfo> ports_;
  QTimer deliverTimer_;

  QLabel* title_ = nullptr;
  QComboBox* portBox_ = nullptr;
  QComboBox* baudBox_ = nullptr;
  QPushButton* openButton_ = nullptr;
  QPushButton* emptyButton_ = nullptr;
  QPushButton* saveButton_ = nullptr;
  QCheckBox* topCheck_ = nullptr;
  QCheckBox* reopenCheck_ = nullptr;
  QCheckBox* hexDisplayCheck_ = nullptr;
  QCheckBox* packetCheck_ = nullptr;
  QCheckBox* autoClearCheck_ = nullptr;
  QLineEdit* timeoutEdit_ = nullptr;
  QLineEdit* perLineEdit_ = nullptr;
  QCheckBox* logCheck_ = nullptr;
  QCheckBox* hexSendCheck_ = nullptr;
  QCheckBox* timedCheck_ = nullptr;
  QLineEdit* intervalEdit_ = nullptr;
};
