#pragma once
// The main window: the file row, the buffer tab with the hex view of the image, the coloured log,
// the progress bar and the vertical mode tabs with the four mode panels. What it decides lives in
// the plain rules beside it; this class wires them to widgets.
#include <QMainWindow>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/report.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/image.hpp"
#include "firmware/production/settings.hpp"
#include "ui/main/device_change.hpp"
#include "ui/main/device_seams.hpp"
#include "ui/main/tool_settings.hpp"

class QAction;
class QActionGroup;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QSocketNotifier;
class QStackedWidget;
class QTabWidget;
class QTextEdit;
class QToolButton;
class QVBoxLayout;
class CHexEditBase;
class CLogPane;
class CTOUCH_DISPLAY;

namespace qx {
class UdevMonitor;
}

class CQX58KT_UPGRADEDlg : public QMainWindow {
  Q_OBJECT

 public:
  struct Services {
    mainwin::DeviceLookups lookups;
    mainwin::PortActivity ports;
    // Starts the own executable again and ends this process with status 0.
    std::function<void()> restart;
    // A modal message box; tests record instead.
    std::function<void(const std::string& text, const std::string& caption, base::MessageIcon icon)> message;
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
  void LookUpProgrammer();
  void HandleDeviceEvent(const qx::DeviceEvent& event);

  const firmware::ProgramImage& image() const { return image_; }
  const firmware::McuPtr& currentMcu() const { return currentMcu_; }
  std::uint16_t mcuTypeIndex() const { return mcuTypeIndex_; }
  const std::vector<std::string>& portNames() const { return portNames_; }
  const mainwin::ToolSettings& settings() const { return settings_; }
  // What the loaded .cab or .cap carried; cleared by any other file.
  const production::ProductionSettings& productionSettings() const { return productionSettings_; }
  bool writerPresent() const { return writerPresent_; }

 protected:
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  class LoadSink;

  void buildCentral();
  QWidget* buildFileRow();
  QWidget* buildBufferTab();
  QWidget* buildSerialArea();
  void buildMenus();
  QMenu* buildModelMenu();
  void applyVisibility(int mode);
  void applyLayoutRules();
  void applyResizing(bool resizable);
  void loadSettings();
  void saveSettings();
  void selectInitialModel();
  void setCurrentModel(std::size_t position);
  void selectModelByCode(std::uint16_t modelCode);
  bool loadCurrentFile();
  void openByDialog();
  void saveByDialog();
  void showMessage(const std::string& text, const std::string& caption, base::MessageIcon icon);
  void readDeviceEvents();
  void cleanUpAfterRemoval();

  Services services_;
  firmware::McuList modelList_;
  firmware::McuPtr currentMcu_;
  std::uint16_t mcuTypeIndex_ = 0;
  firmware::ProgramImage image_;
  production::ProductionSettings productionSettings_;
  std::string filePath_;
  std::string lastDirectory_;
  bool isHexFile_ = false;
  bool isEncryptedProgram_ = false;
  bool isProductionProject_ = false;
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
  QWidget* fileInfo_ = nullptr;
  QLabel* checksumLabel_ = nullptr;
  QLabel* fileSizeLabel_ = nullptr;
  QWidget* serialArea_ = nullptr;
  CLogPane* log_ = nullptr;
  QVBoxLayout* leftColumn_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QTabWidget* modeTab_ = nullptr;
  QActionGroup* modelGroup_ = nullptr;
  std::vector<QAction*> modelActions_;
  QAction* chineseAction_ = nullptr;
  QAction* englishAction_ = nullptr;

  std::unique_ptr<qx::UdevMonitor> monitor_;
  QSocketNotifier* monitorNotifier_ = nullptr;
};
