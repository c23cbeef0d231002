#include "ui/main/main_window.hpp"

#include <QAction>
#include <QApplication>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QSplitter>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QSocketNotifier>
#include <QStackedWidget>
#include <QStyle>
#include <QTabBar>
#include <QTabWidget>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "base/trace.hpp"
#include "isp/port_list.hpp"
#include "isp/serial_port.hpp"
#include "ui/main/isp_panel.hpp"
#include "ui/main/log_pane.hpp"
#include "ui/main/mode_pages.hpp"
#include "ui/main/mode_plan.hpp"
#include "device/hotplug.hpp"
#include "ui/main/responsive_timers.hpp"
#include "ui/main/window_rules.hpp"
#include "device/touch_debug.hpp"
#include "ui/serial/serial_views.hpp"
#include "ui/serial/uart_test_dlg.hpp"
#include "touch/port_link.hpp"
#include "ui/touch/touch_mode_dlg.hpp"
#include "ui/touch/touch_plot_view.hpp"
#include "ui/touch/touch_table.hpp"
#include "ui/writer/device_program_dlg.hpp"
#include "widgets/list_ctrl_cl.hpp"
#include "widgets/hexeditbase.hpp"
#include "widgets/message_box.hpp"

#ifndef QUBRIX_VERSION
#define QUBRIX_VERSION "0.0.0"
#endif

namespace {

CQX58KT_UPGRADEDlg* g_mainWindow = nullptr;

// Fixed in both languages.
const char* const kModeCaptions[mainwin::kModeCount] = {"ISP", "烧录器", "触摸调试", "串口调试"};

constexpr std::size_t kBufferBytes = 0x20000;
constexpr int kInfoStripHeight = 24;  // below the page, for the checksum and size
constexpr int kPageMargin = 10;       // around the hex editor inside its page

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Mode 2's bytes go to the touch panel's serial link while it is active.
class TouchLinkConsumer final : public mainwin::SerialByteConsumer {
 public:
  TouchLinkConsumer(CTouchModeDlg& panel, touch::SerialTransport& link) : panel_(panel), link_(link) {}
  void onSerialByte(std::uint8_t byte) override { link_.onByte(byte); }
  void onSerialPortError() override {
    link_.onPortError();
    panel_.NoteSessionChange();
  }

 private:
  CTouchModeDlg& panel_;
  touch::SerialTransport& link_;
};

void restartSelf() {
  QProcess::startDetached(QCoreApplication::applicationFilePath(), {});
  QCoreApplication::exit(0);
}

}  // namespace

CQX58KT_UPGRADEDlg::CQX58KT_UPGRADEDlg(Services services, QWidget* parent)
    : QMainWindow(parent), services_(std::move(services)) {
  g_mainWindow = this;
  if (!services_.restart) services_.restart = restartSelf;
  if (!services_.touchSessionBlocksStore) services_.touchSessionBlocksStore = [this] { return RefuseWhileTouchDebugging(); };
  setObjectName(QStringLiteral("mainWindow"));
  setWindowTitle(qs(mainwin::WindowTitle(QUBRIX_VERSION)));
  setWindowIcon(style()->standardIcon(QStyle::SP_ComputerIcon));
  modelList_ = firmware::Catalogue();
  // The ISP panel, built with the central widget, takes the timers and the port.
  buildSerialPort();
  if (!services_.ports.ispRunning) services_.ports.ispRunning = [this] { return ispPanel_->running(); };
  if (!services_.ports.stopIsp) services_.ports.stopIsp = [this] { ispPanel_->stopRun(); };

  buildMenus();
  buildCentral();
  setAcceptDrops(true);

  for (const isp::PortInfo& p : isp::listSerialPorts()) portNames_.push_back(p.path);

  monitor_ = std::make_unique<qx::UdevMonitor>();
  if (monitor_->fd() >= 0) {
    monitorNotifier_ = new QSocketNotifier(monitor_->fd(), QSocketNotifier::Read, this);
    connect(monitorNotifier_, &QSocketNotifier::activated, this, &CQX58KT_UPGRADEDlg::readDeviceEvents);
  }

  progress_->setRange(0, 100);
  progress_->setValue(0);
  SwitchMode(mainwin::kModeIsp);
  loadSettings();
  selectInitialModel();
  // The ISP panel looks for the programmer when it starts.
  LookUpProgrammer();
  ispPanel_->applySettings();
}

CQX58KT_UPGRADEDlg::~CQX58KT_UPGRADEDlg() {
  // A touch session ends with the target powered off and the programmer closed.
  if (touchPanel_ != nullptr) {
    touchPanel_->EndSession();
    // The serial transport uses the link and the port, which go before the panel does.
    SetSerialConsumer(mainwin::kModeTouch, nullptr);
    touchPanel_->Session().setSerialTransport(nullptr);
  }
  // The panel's engine and workers use the port: they go first, then the port's reader.
  delete ispPanel_;
  ispPanel_ = nullptr;
  serialPort_->Stop();
  if (g_mainWindow == this) g_mainWindow = nullptr;
}

CQX58KT_UPGRADEDlg* CQX58KT_UPGRADEDlg::instance() { return g_mainWindow; }

void CQX58KT_UPGRADEDlg::buildCentral() {
  auto* central = new QWidget(this);
  auto* grid = new QGridLayout(central);
  grid->setContentsMargins(8, 6, 8, 6);
  grid->setHorizontalSpacing(8);
  grid->setVerticalSpacing(6);

  auto* left = new QVBoxLayout;
  left->setSpacing(6);
  fileRow_ = buildFileRow();
  left->addWidget(fileRow_);
  left->addWidget(buildBufferTab(), 3);
  // The serial assistant's views belong to the window; the serial panel drives them.
  serialArea_ = new CSerialViews(this);
  left->addWidget(serialArea_, 3);

  log_ = new CLogPane(central);
  log_->setMinimumHeight(5 * log_->fontMetrics().lineSpacing());
  left->addWidget(log_, 1);
  leftColumn_ = left;
  grid->addLayout(left, 0, 0);

  modeTab_ = new QTabWidget(central);
  modeTab_->setObjectName(QStringLiteral("modeTab"));
  modeTab_->setTabPosition(QTabWidget::East);
  for (int m = 0; m < mainwin::kModeCount; ++m) {
    QWidget* page = nullptr;
    if (m == mainwin::kModeIsp) {
      ispPanel_ = new CUpdataModeDlg(*this);
      page = ispPanel_;
    } else if (m == mainwin::kModeWriter) {
      writerPanel_ = new CDeviceProgramDlg(*this);
      page = writerPanel_;
    } else if (m == mainwin::kModeTouch) {
      page = buildTouchPanel();
    } else if (m == mainwin::kModeSerial) {
      page = buildSerialPanel();
    } else {
      page = new CModePage(QString::fromUtf8(kModeCaptions[m]));
    }
    modeTab_->addTab(page, QString::fromUtf8(kModeCaptions[m]));
  }
  connect(modeTab_->tabBar(), &QTabBar::tabBarClicked, this, [this](int index) {
    if (index >= 0 && index != currentMode_) SwitchMode(index);
  });
  grid->addWidget(modeTab_, 0, 1);

  progress_ = new QProgressBar(central);
  progress_->setObjectName(QStringLiteral("progress"));
  progress_->setTextVisible(false);
  progress_->setMaximumHeight(progress_->fontMetrics().height());
  grid->addWidget(progress_, 1, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(0, 1);
  setCentralWidget(central);
  applyLayoutRules();
}

QWidget* CQX58KT_UPGRADEDlg::buildFileRow() {
  auto* row = new QWidget(this);
  row->setObjectName(QStringLiteral("fileRow"));
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->addWidget(new QLabel(qs(base::text("main.file")), row));
  pathEdit_ = new QLineEdit(row);
  pathEdit_->setObjectName(QStringLiteral("filePath"));
  pathEdit_->setReadOnly(true);
  layout->addWidget(pathEdit_, 1);
  auto* open = new QToolButton(row);
  open->setObjectName(QStringLiteral("openButton"));
  open->setIcon(style()->standardIcon(QStyle::SP_DialogOpenButton));
  open->setToolTip(qs(base::text("main.open")));
  open->setAutoRaise(true);
  connect(open, &QToolButton::clicked, this, &CQX58KT_UPGRADEDlg::openByDialog);
  layout->addWidget(open);
  return row;
}

QWidget* CQX58KT_UPGRADEDlg::buildBufferTab() {
  bufferTab_ = new QTabWidget(this);
  bufferTab_->setObjectName(QStringLiteral("bufferTab"));
  auto* tabPage = new QWidget(bufferTab_);
  auto* column = new QVBoxLayout(tabPage);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);

  bufferPages_ = new QStackedWidget(tabPage);
  writePage_ = new QWidget(bufferPages_);
  writePage_->setObjectName(QStringLiteral("writePage"));
  auto* pageLayout = new QVBoxLayout(writePage_);
  pageLayout->setContentsMargins(kPageMargin / 2, kPageMargin / 2, kPageMargin / 2, kPageMargin / 2);
  hexEdit_ = new CHexEditBase(writePage_);
  hexEdit_->setObjectName(QStringLiteral("writeBuffer"));
  hexEdit_->SetAddressDigits(5);
  hexEdit_->SetShowAddress(true);
  hexEdit_->SetBytesPerRow(16);
  hexEdit_->SetShowAscii(true);
  const std::vector<std::uint8_t> blank(kBufferBytes, 0xFF);
  hexEdit_->SetData(blank.data(), blank.size());
  hexEdit_->setMinimumWidth(hexEdit_->sizeHint().width());
  hexEdit_->setMinimumHeight(hexEdit_->sizeHint().height());
  pageLayout->addWidget(hexEdit_);
  bufferPages_->addWidget(writePage_);
  // In Touch debug mode the channel table, with the live plot below it, lies over the (empty)
  // touch graph page.
  auto* touchArea = new QWidget(bufferPages_);
  auto* touchStack = new QGridLayout(touchArea);
  touchStack->setContentsMargins(0, 0, 0, 0);
  touchGraph_ = new CTOUCH_DISPLAY(touchArea);
  touchSplit_ = new QSplitter(Qt::Vertical, touchArea);
  touchSplit_->setObjectName(QStringLiteral("touchSplit"));
  touchSplit_->setChildrenCollapsible(false);
  touchTable_ = new CListCtrlCl(touchSplit_);
  touchTable_->setObjectName(QStringLiteral("touchTable"));
  touchSplit_->addWidget(touchTable_);
  touchStack->addWidget(touchGraph_, 0, 0);
  touchStack->addWidget(touchSplit_, 0, 0);
  touchArea_ = touchArea;
  bufferPages_->addWidget(touchArea);
  column->addWidget(bufferPages_, 1);

  fileInfo_ = new QWidget(tabPage);
  fileInfo_->setObjectName(QStringLiteral("fileInfo"));
  fileInfo_->setFixedHeight(std::max(kInfoStripHeight, fontMetrics().height() + 6));
  auto* info = new QHBoxLayout(fileInfo_);
  info->setContentsMargins(kPageMargin / 2, 0, kPageMargin / 2, 2);
  checksumLabel_ = new QLabel(qs(base::format(base::text(base::txt::kChecksumLabel).c_str(), 0u)), fileInfo_);
  checksumLabel_->setObjectName(QStringLiteral("checksum"));
  checksumLabel_->setToolTip(qs(base::text("main.copy_checksum")));
  checksumLabel_->setCursor(Qt::PointingHandCursor);
  checksumLabel_->installEventFilter(this);
  fileSizeLabel_ = new QLabel(qs(base::format(base::text(base::txt::kFileSizeLabel).c_str(), 0.0)), fileInfo_);
  fileSizeLabel_->setObjectName(QStringLiteral("fileSize"));
  info->addWidget(checksumLabel_);
  info->addSpacing(24);
  info->addWidget(fileSizeLabel_);
  info->addStretch(1);
  column->addWidget(fileInfo_);

  bufferTab_->addTab(tabPage, qs(base::text(base::txt::kWriteBuffer)));
  return bufferTab_;
}

UartTestDlg* CQX58KT_UPGRADEDlg::buildSerialPanel() {
  UartTestDlg::Host host;
  host.settings = &settings_;
  host.saveSettings = [this] { saveSettings(); };
  host.log = [this](const std::string& line, base::LogColour colour) {
    if (colour == base::LogColour::Error) SetLogErrorColour();
    Log(line);
  };
  host.message = [this](const std::string& text, const std::string& caption, base::MessageIcon icon) {
    showMessage(text, caption, icon);
  };
  host.setTopmost = [this](bool on) { setTopmost(on); };
  serialPanel_ = new UartTestDlg(std::move(host), serialArea_);
  return serialPanel_;
}

void CQX58KT_UPGRADEDlg::setTopmost(bool on) {
  if (on == windowFlags().testFlag(Qt::WindowStaysOnTopHint)) return;
  const bool shown = isVisible();
  setWindowFlag(Qt::WindowStaysOnTopHint, on);
  if (shown) show();
}

void CQX58KT_UPGRADEDlg::applyLayoutRules() {
  // The room the log pane leaves beside it grows with the screen scale: it is the mode column's.
  const double scale = screen() != nullptr ? screen()->devicePixelRatio() : devicePixelRatioF();
  const mainwin::LogRoom room = mainwin::LogRoomForScale(std::round(scale * 100.0) / 100.0);
  const bool serial = currentMode_ == mainwin::kModeSerial;
  const int width = serial ? 0 : static_cast<int>(std::lround(room.width / scale));
  const int height = serial ? 0 : static_cast<int>(std::lround(room.height / scale));
  modeTab_->setMinimumWidth(width);
  leftColumn_->setContentsMargins(0, 0, 0, height);
}

void CQX58KT_UPGRADEDlg::SwitchMode(int mode) {
  if (mode < 0 || mode >= mainwin::kModeCount) return;
  base::trace("current : %d, new : %d\n", currentMode_, mode);
  {
    const QSignalBlocker block(modeTab_);
    modeTab_->setCurrentIndex(mode);
  }
  if (mainwin::isRunning(services_.ports.touchLinkRunning) && services_.ports.stopTouchLink) {
    services_.ports.stopTouchLink();
  }
  const bool ispWasRunning = mainwin::isRunning(services_.ports.ispRunning);
  if (ispWasRunning && services_.ports.stopIsp) services_.ports.stopIsp();
  if (currentMode_ == mainwin::kModeTouch && mode != mainwin::kModeTouch) touchPanel_->EndSession();
  if (mode == mainwin::kModeTouch && !touchPanel_->SessionActive()) touchPanel_->RefreshPorts();
  log_->Clear();
  // After the clear, or the user would never see why the run ended.
  if (ispWasRunning) LogText(base::txt::kStopUpgrading, true);
  const bool wasSerial = currentMode_ == mainwin::kModeSerial;
  // After the clear, so that "Serial port closed!" stays in sight above the new mode's notes.
  if (wasSerial && mode != mainwin::kModeSerial) serialPanel_->leaveMode();
  if (wasSerial && isVisible()) serialModeSize_ = size();
  currentMode_ = mode;
  const mainwin::ModePlan plan = mainwin::PlanMode(mode, serialBaudIndex_);
  for (int id : plan.notes) LogText(id, plan.notesInRed);
  if (plan.baudIndex) baudIndex_ = *plan.baudIndex;
  if (mode == mainwin::kModeTouch) touchPanel_->ShowBaudIndex(baudIndex_);
  if (mode == mainwin::kModeWriter) writerPanel_->EnterWriterMode();
  writerPanel_->SetReading(mode != mainwin::kModeIsp);
  applyVisibility(mode);
  applyLayoutRules();
  progress_->setValue(0);
  applyResizing(plan.resizable);
  if (mode == mainwin::kModeSerial) serialPanel_->enterMode();
}

void CQX58KT_UPGRADEDlg::applyVisibility(int mode) {
  const mainwin::ModeVisibility v = mainwin::PlanMode(mode, serialBaudIndex_).show;
  fileRow_->setVisible(v.fileRow);
  bufferTab_->setVisible(v.bufferTab);
  fileInfo_->setVisible(v.fileInfo);
  bufferPages_->setCurrentWidget(v.touchGraph ? touchArea_ : writePage_);
  touchTable_->setVisible(v.touchTable);
  serialArea_->setVisible(v.serialViews);
  log_->setVisible(v.log);
}

void CQX58KT_UPGRADEDlg::applyResizing(bool resizable) {
  // Only the serial assistant's views make use of a larger window.
  if (resizable) {
    setMinimumSize(minimumSizeHint());
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(serialModeSize_);
  } else {
    if (!fixedSize_.isValid()) {
      // Measured with the controls of modes 0 to 2 shown, not the serial views.
      centralWidget()->layout()->activate();
      fixedSize_ = sizeHint();
      serialModeSize_ = fixedSize_;
    }
    setFixedSize(fixedSize_);
  }
}

QWidget* CQX58KT_UPGRADEDlg::buildTouchPanel() {
  const QScreen* shown = screen();
  const double dpi = shown != nullptr ? (shown->logicalDotsPerInchX() + shown->logicalDotsPerInchY()) / 2 : 96.0;
  touchui::SetUpChannelTable(*touchTable_, dpi, shown != nullptr ? shown->devicePixelRatio() : 1.0);
  touchTable_->hide();
  // The window's size is measured once for modes 0 to 2: the buffer pages have room for the table.
  bufferPages_->setMinimumWidth(touchTable_->minimumWidth());
  CTouchModeDlg::Hooks hooks;
  hooks.log = [this](const std::string& line, bool error) {
    if (error) SetLogErrorColour();
    Log(line);
  };
  hooks.message = [this](const std::string& text, const std::string& caption, base::MessageIcon icon) {
    showMessage(text, caption, icon);
  };
  hooks.portNames = [this] { return portNames_; };
  hooks.openFile = services_.openFile;
  touchPanel_ = new CTouchModeDlg(*touchTable_, std::move(hooks), services_.touchTool ? services_.touchTool : qx::firstTouchDebug);
  connect(touchPanel_, &CTouchModeDlg::sessionChanged, this, &CQX58KT_UPGRADEDlg::touchSessionChanged);
  // A COM port selected in the panel: the link runs over the window's port, timers 8 and 9.
  touchLink_ = std::make_unique<touch::PortLink>(*serialPort_, SerialPortOwner(), [this] { ReleaseSerialPort(); });
  touch::SerialTransport& link = touchPanel_->AttachSerialLink(*touchLink_, timers());
  touchConsumer_ = std::make_unique<TouchLinkConsumer>(*touchPanel_, link);
  SetSerialConsumer(mainwin::kModeTouch, touchConsumer_.get());
  for (int id : {touch::kLinkTimerId, touch::kKeepAliveTimerId}) {
    HookTimer(id, [this](int fired) { touchPanel_->OnTimer(fired); });
  }
  touchPlot_ = new CTouchPlotView(touchPanel_->History(), touchSplit_);
  touchSplit_->addWidget(touchPlot_);
  touchSplit_->setStretchFactor(0, 1);
  touchSplit_->setStretchFactor(1, 1);
  connect(touchPanel_, &CTouchModeDlg::samplesArrived, touchPlot_, &CTouchPlotView::samplesChanged);
  // No programmer firmware update while a touch session holds the programmer or the port.
  connect(this, &CQX58KT_UPGRADEDlg::touchSessionChanged, this, [this](bool active) {
    if (auto* update = findChild<QAction*>(QStringLiteral("main.menu.firmware_update"))) update->setEnabled(!active);
  });
  return touchPanel_;
}

bool CQX58KT_UPGRADEDlg::TouchSessionActive() const {
  return (touchPanel_ != nullptr && touchPanel_->SessionActive()) || mainwin::isRunning(services_.ports.touchLinkRunning);
}

bool CQX58KT_UPGRADEDlg::RefuseWhileTouchDebugging() {
  if (!TouchSessionActive()) return false;
  showMessage(base::text(333), base::text(102), base::MessageIcon::Information);
  return true;
}

void CQX58KT_UPGRADEDlg::Log(const std::string& line) { log_->Log(line); }

void CQX58KT_UPGRADEDlg::SetLogErrorColour() { log_->SetErrorColour(); }

void CQX58KT_UPGRADEDlg::LogText(int id, bool error) {
  if (error) SetLogErrorColour();
  Log("--> " + base::text(id));
}

void CQX58KT_UPGRADEDlg::loadSettings() {
  settings_ = mainwin::readToolSettings(base::IniFile::read(mainwin::toolSettingsPath()), portNames_.size());
  serialPanel_->reloadSettings();
}

void CQX58KT_UPGRADEDlg::saveSettings() {
  const auto path = mainwin::toolSettingsPath();
  base::IniFile ini = base::IniFile::read(path);
  settings_.mcuTypeIndex = mcuTypeIndex_;
  mainwin::storeToolSettings(settings_, ini);
  ini.write(path);
}

void CQX58KT_UPGRADEDlg::showMessage(const std::string& text, const std::string& caption, base::MessageIcon icon) {
  if (services_.message) {
    services_.message(text, caption, icon);
    return;
  }
  widgets::showMessageBox(this, caption, text, icon);
}

void CQX58KT_UPGRADEDlg::SetControlsEnabled(bool enabled) {
  fileRow_->setEnabled(enabled);
  if (auto* models = findChild<QMenu*>(QStringLiteral("modelMenu"))) models->menuAction()->setEnabled(enabled);
}
