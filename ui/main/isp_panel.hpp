#pragma once
// CUpdataModeDlg: the ISP panel of the main window (mode 0). A thin view over isppanel::IspPanel:
// the model group, the port box (serial ports by path with their adapters, then "USB" when a
// programmer was found), "Erase Chip", Program, Check, Cancel and the target's Power button. It
// owns the window's serial ISP engine, which takes the mode-0 bytes and timers 5, 6, 7 and 10.
#include <QComboBox>
#include <QWidget>

#include <memory>
#include <optional>
#include <string>

#include "isp/engine/engine.hpp"
#include "isp/engine/serial_link.hpp"
#include "isp/panel/isp_panel.hpp"
#include "isp/panel/panel_sink.hpp"
#include "ui/main/serial_dispatch.hpp"

class QCheckBox;
class QLabel;
class QPushButton;
class CQX58KT_UPGRADEDlg;

// A combo box that lists its entries afresh each time it opens.
class CPortComboBox : public QComboBox {
  Q_OBJECT

 public:
  using QComboBox::QComboBox;
  void showPopup() override;

 signals:
  void aboutToOpen();
};

class CUpdataModeDlg : public QWidget,
                       public isppanel::IspPanelSink,
                       public isp::engine::IspSink,
                       public mainwin::SerialByteConsumer {
  Q_OBJECT

 public:
  explicit CUpdataModeDlg(CQX58KT_UPGRADEDlg& window, QWidget* parent = nullptr);
  ~CUpdataModeDlg() override;

  // Init steps: the model's name, the saved port, "Erase Chip".
  void applySettings();
  void setModelName(const std::string& name);
  // The port list afresh: serial ports, then "USB" when a programmer was found; the selection
  // stays on its port while that is listed, else the first entry.
  void rebuildPortList();
  void selectPortEntry(const std::string& entry);
  std::string portEntry() const { return logic_.portEntry(); }
  // The connection icon of the model group.
  void showPortOpen(bool open);

  void program();
  void check();
  void cancel();
  void power();
  void openSerialSettings();

  bool running() const { return logic_.running(); }
  // A mode switch or an unplug: a USB worker is told to stop, a serial run ends without a word.
  void stopRun();
  // The window's port release: the serial run, if any, ends without a word.
  void releasePort() { engine_.ReleasePort(); }
  // The programmer's version, asked when an encrypted program file loads with a serial port selected.
  void queryProgrammerVersion();
  isp::engine::IspEngine& engine() { return engine_; }
  isp::engine::JobOptions serialOptions() const;

  // IspPanelSink and IspSink (the calls both share are one override).
  void onLog(const std::string& line, base::LogColour colour) override;
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override;
  void onProgressRange(int low, int high) override;
  void onProgress(int position) override;
  void onControlsEnabled(bool enabled) override;
  void onPowerButton(usbjobs::PowerIcon icon, const std::string& caption) override;
  void onRunEnded(base::Outcome outcome) override;
  void onFinished(base::Outcome outcome) override;
  void onProgrammerInfo(const isp::ProgrammerInfo& info, isp::engine::VersionQuery asker) override;

  // SerialByteConsumer.
  void onSerialByte(std::uint8_t byte) override { engine_.OnByte(byte); }
  void onSerialPortError() override { engine_.OnPortError(); }

 signals:
  // A USB or serial run ended (tests wait for it).
  void runEnded(base::Outcome outcome);

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  class QueuedUsbSink;

  QWidget* buildModelGroup();
  QWidget* buildPortGroup();
  QWidget* buildEraseGroup();
  QWidget* buildButtons();
  QWidget* buildPowerGroup();
  void portChosen(int index);
  isppanel::LoadedFile loadedFile() const;

  CQX58KT_UPGRADEDlg& window_;
  isp::engine::SerialPortLink link_;
  isp::engine::IspEngine engine_;
  std::unique_ptr<QueuedUsbSink> usbSink_;
  isppanel::IspPanel logic_;

  QLabel* connectionIcon_ = nullptr;
  QLabel* modelName_ = nullptr;
  CPortComboBox* ports_ = nullptr;
  QLabel* adapterName_ = nullptr;
  QPushButton* settingsButton_ = nullptr;
  QCheckBox* eraseChip_ = nullptr;
  QPushButton* programButton_ = nullptr;
  QPushButton* checkButton_ = nullptr;
  QPushButton* cancelButton_ = nullptr;
  QPushButton* powerButton_ = nullptr;
  int progressLow_ = 0;
  int progressHigh_ = 100;
};
