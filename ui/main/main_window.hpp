#pragma once
// The main window: the file row, the buffer tab with the hex view of the image, the coloured log,
// the progress bar and the vertical mode tabs with the four mode panels. What it decides lives in
// the plain rules beside it; this class wires them to widgets.
#include <QMainWindow>

#include <array>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/report.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/image.hpp"
#include "firmware/production/settings.hpp"
#include "ui/main/device_change.hpp"
#include "ui/main/device_seams.hpp"
#include "ui/main/serial_dispatch.hpp"
#include "ui/main/tool_settings.hpp"
#include "ui/writer/panel_host.hpp"

namespace touch {
class PortLink;
}

class QAction;
class QActionGroup;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTextEdit;
class QToolButton;
class QVBoxLayout;
class CHexEditBase;
class CLogPane;
class CTOUCH_DISPLAY;
class CSerialViews;
class UartTestDlg;
class CDeviceProgramDlg;
class CListCtrlCl;
class CTouchModeDlg;
class CTouchPlotView;
class CUpdataModeDlg;

namespace isp {
class CSerialPort;
class SerialPortSink;
}
namespace base {
class TimerService;
}
namespace widgets {
class QtTimerService;
}
namespace mainwin {
class ResponsiveTimers;
class SerialBridge;
}
namespace qx {
class TouchDebug;
class UdevMonitor;
}

class CQX58KT_UPGRADEDlg : public QMainWindow, private writerpanel::PanelHost {
  Q_OBJECT

 public:
  struct Services {
    mainwin::DeviceLookups lookups;
    mainwin::PortActivity ports;
    // Starts the own executable again and ends this process with status 0.
    std::function<void()> restart;
    // A modal message box; tests record instead.
    std::function<void(const std::string& text, const std::string& caption, base::MessageIcon icon)> message;
    // The touch panel's programmer and how an exported file is shown; defaults: the first QUBRIX
    // Tool found, the desktop's handler.
    std::function<std::shared_ptr<qx::TouchDebug>()> touchTool;
    std::function<void(const std::string& path)> openFile;
    // True while a touch debugging session runs; it has then asked the user to finish it first, and
    // the store manager stays closed.
    std::function<bool()> touchSessionBlocksStore;
    // Opens the store manager modally over the window; the dialog by default.
    std::function<void(QWidget* parent, const firmware::McuList& models)> openStoreManager;
  };

  static constexpr int kModelCommandBase = 40000;

  explicit CQX58KT_UPGRADEDlg(Services services = {}, QWidget* parent = nullptr);
  ~CQX58KT_UPGRADEDlg() override;

  // The one main window of the process, for the panels; null before and after it lives.
  static CQX58KT_UPGRADEDlg* instance();

  void SwitchMode(int mode);
  int currentMode() const { return currentMode_; }

  // One log line; red when SetLogErrorColour was called just before.
  void Log(const std::string& line);
  void SetLogErrorColour();
  // A table text as a log line, through "--> %s".
  void LogText(int id, bool error = false);

  // A path chosen by the dialog or dropped; false when refused or not loaded.
  bool OpenProgramFile(const std::string& path, bool dropped);
  // Command 40000 + position.
  void SelectModelCommand(int commandId);
  void SaveImageTo(const std::string& path);
  void CopyChecksum();
  void SwitchLanguage(int langId);
  // Help > Check for update: the program's own update; on success the new program starts and this one ends.
  void CheckForUpdate();
  void LookUpProgrammer();
  void HandleDeviceEvent(const qx::DeviceEvent& event);
  // The "&Firmware" item: the ISP panel enables it while "USB" is its selected port.
  void SetStoreManagerEnabled(bool enabled);
  bool storeManagerEnabled() const;
  // What the item does: the touch guard, then the store manager or "not found".
  void OpenStoreManager();

  const firmware::ProgramImage& image() const { return image_; }
  const firmware::McuPtr& currentMcu() const { return currentMcu_; }
  std::uint16_t mcuTypeIndex() const { return mcuTypeIndex_; }
  const std::vector<std::string>& portNames() const { return portNames_; }
  const mainwin::ToolSettings& settings() const { return settings_; }
  // What the loaded .cab or .cap carried; cleared by any other file.
  const production::ProductionSettings& productionSettings() const { return productionSettings_; }
  bool writerPresent() const { return writerPresent_; }
  CDeviceProgramDlg* writerPanel() const { return writerPanel_; }
  bool programmerPresent() const { return toolPresent_; }
  mainwin::ToolSettings& settings() { return settings_; }
  void SaveSettings() { saveSettings(); }

  // The file as the panels program it. A file that failed to load leaves nothing programmable.
  bool fileSelected() const { return !filePath_.empty() && imageLoaded_; }
  bool imageLoaded() const { return imageLoaded_; }
  bool isProductionFile() const { return isEncryptedProgram_ || isProductionProject_; }
  // The ISP panel's port entry when the loaded encrypted program file was loaded.
  const std::optional<std::string>& encryptedLoadPort() const { return encryptedLoadPort_; }
  // Loads the selected file again for the selected model (a serial Program sends what it holds now).
  bool ReloadProgramFile();

  // The window's timers, ids fixed per owner (5, 6, 7, 10 ISP; 8, 9 touch link; 11, 12 serial
  // assistant): a panel hooks its ids once, and every firing goes to the hook of that id.
  base::TimerService& timers();
  void HookTimer(int id, std::function<void(int id)> onFire);

  // The one serial port. Opened with SerialPortOwner() as its sink, it hands every received byte,
  // on this thread and in order, to the consumer of the current mode.
  isp::CSerialPort& SerialPort() { return *serialPort_; }
  isp::SerialPortSink& SerialPortOwner();
  void SetSerialConsumer(int mode, mainwin::SerialByteConsumer* consumer);
  // A panel wants the port for itself: a running ISP operation ends without a word, the ISP timers
  // stop and the port closes. Nothing happens while the port is closed.
  void ReleaseSerialPort();

  CUpdataModeDlg* ispPanel() const { return ispPanel_; }
  QProgressBar* progressBar() const { return progress_; }
  // The controls that could start another operation (the file row and the model menu).
  void SetControlsEnabled(bool enabled);
  void ShowMessage(const std::string& text, const std::string& caption, base::MessageIcon icon) {
    showMessage(text, caption, icon);
  }

  // A touch debugging session (USB or serial link) is running. Menu items that must not run
  // meanwhile ask RefuseWhileTouchDebugging() first; items to be greyed follow touchSessionChanged.
  bool TouchSessionActive() const;
  // Shows "Please finish the touch debugging first." and returns true while a session runs.
  bool RefuseWhileTouchDebugging();
  CTouchModeDlg* touchPanel() const { return touchPanel_; }
  CListCtrlCl* touchTable() const { return touchTable_; }
  CTouchPlotView* touchPlot() const { return touchPlot_; }

 signals:
  void touchSessionChanged(bool active);

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class LoadSink;

  void buildSerialPort();
  void buildCentral();
  QWidget* buildFileRow();
  QWidget* buildBufferTab();
  QWidget* buildTouchPanel();
  void buildMenus();
  QMenu* buildModelMenu();
  void applyVisibility(int mode);
  void applyLayoutRules();
  void applyResizing(bool resizable);
  UartTestDlg* buildSerialPanel();
  void setTopmost(bool on);
  void loadSettings();
  void saveSettings();
  void selectInitialModel();
  void setCurrentModel(std::size_t position);
  void selectModelByCode(std::uint16_t modelCode);
  bool loadCurrentFile();
  void forgetFile();
  void openByDialog();
  void saveByDialog();
  void showMessage(const std::string& text, const std::string& caption, base::MessageIcon icon);
  void readDeviceEvents();
  void cleanUpAfterRemoval();
  void switchToWriterMode();

  // What the Writer panel asks of the window.
  const firmware::ProgramImage& writerImage() const override { return image_; }
  production::ProductionSettings& writerSettings() override { return productionSettings_; }
  const firmware::MCU* writerModel() const override { return currentMcu_.get(); }
  std::uint16_t writerModelCode() const override { return mcuTypeIndex_; }
  std::string selectedFile() const override { return filePath_; }
  std::string openedFileName() const override { return openedFileName_; }
  bool reloadSelectedFile() override { return loadCurrentFile(); }
  bool writerConnected() override;
  std::optional<std::string> lookUpWriter() override;
  void hostLog(const std::string& line, base::LogColour colour) override;
  void hostClearLog() override;
  void hostProgressRange(int low, int high) override;
  void hostProgress(int position) override;
  void hostMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override;
  std::optional<std::string> askSavePath(const std::string& defaultName, const std::string& extension,
                                         const std::string& filter) override;

  Services services_;
  firmware::McuList modelList_;
  firmware::McuPtr currentMcu_;
  std::uint16_t mcuTypeIndex_ = 0;
  firmware::ProgramImage image_;
  production::ProductionSettings productionSettings_;
  std::string filePath_;
  std::string lastDirectory_;
  std::string openedFileName_;  // without extension, from the open dialog only
  bool isHexFile_ = false;
  bool isEncryptedProgram_ = false;
  bool isProductionProject_ = false;
  bool imageLoaded_ = false;
  std::optional<std::string> encryptedLoadPort_;
  // The production settings came from the loaded .cab/.cap, not from the Writer panel.
  bool settingsFromFile_ = false;
  int currentMode_ = 0;
  int baudIndex_ = 0;
  int serialBaudIndex_ = 0;
  std::vector<std::string> portNames_;
  mainwin::ToolSettings settings_;
  bool writerPresent_ = false;
  bool toolPresent_ = false;
  std::optional<mainwin::AttachedWriter> writer_;
  QSize fixedSize_;
  QSize serialModeSize_;

  QWidget* fileRow_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
  QTabWidget* bufferTab_ = nullptr;
  QStackedWidget* bufferPages_ = nullptr;
  QWidget* writePage_ = nullptr;
  CHexEditBase* hexEdit_ = nullptr;
  CTOUCH_DISPLAY* touchGraph_ = nullptr;
  CListCtrlCl* touchTable_ = nullptr;
  QSplitter* touchSplit_ = nullptr;
  CTouchPlotView* touchPlot_ = nullptr;
  QWidget* touchArea_ = nullptr;
  CTouchModeDlg* touchPanel_ = nullptr;
  QWidget* fileInfo_ = nullptr;
  QLabel* checksumLabel_ = nullptr;
  QLabel* fileSizeLabel_ = nullptr;
  CSerialViews* serialArea_ = nullptr;
  UartTestDlg* serialPanel_ = nullptr;
  CLogPane* log_ = nullptr;
  QVBoxLayout* leftColumn_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QTabWidget* modeTab_ = nullptr;
  CDeviceProgramDlg* writerPanel_ = nullptr;
  QActionGroup* modelGroup_ = nullptr;
  std::vector<QAction*> modelActions_;
  QAction* chineseAction_ = nullptr;
  QAction* englishAction_ = nullptr;
  QAction* storeAction_ = nullptr;

  widgets::QtTimerService* timers_ = nullptr;
  std::unique_ptr<mainwin::ResponsiveTimers> responsiveTimers_;
  std::map<int, std::function<void(int)>> timerHooks_;
  std::unique_ptr<isp::CSerialPort> serialPort_;
  mainwin::SerialBridge* serialBridge_ = nullptr;
  std::array<mainwin::SerialByteConsumer*, 4> serialConsumers_{};
  CUpdataModeDlg* ispPanel_ = nullptr;
  // The touch panel's serial link over the one port, and mode 2's consumer of its bytes.
  std::unique_ptr<touch::PortLink> touchLink_;
  std::unique_ptr<mainwin::SerialByteConsumer> touchConsumer_;

  std::unique_ptr<qx::UdevMonitor> monitor_;
  QSocketNotifier* monitorNotifier_ = nullptr;
};
