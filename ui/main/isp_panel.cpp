#include "ui/main/isp_panel.hpp"

#include <algorithm>

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/texts.hpp"
#include "isp/port_list.hpp"
#include "isp/serial_port.hpp"
#include "ui/main/device_change.hpp"
#include "ui/main/main_window.hpp"
#include "ui/main/uart_com_set_dlg.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

constexpr int kIconSize = 14;

// A round lamp: green for "on", grey for "off".
QIcon lampIcon(bool on) {
  QPixmap pixmap(kIconSize * 2, kIconSize * 2);
  pixmap.setDevicePixelRatio(2.0);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(on ? QColor(0x1B, 0x7A, 0x3A) : QColor(0x80, 0x80, 0x80), 1.2));
  p.setBrush(on ? QColor(0x3C, 0xC8, 0x64) : QColor(0xC8, 0xC8, 0xC8));
  p.drawEllipse(QRectF(1.5, 1.5, kIconSize - 3, kIconSize - 3));
  return QIcon(pixmap);
}

}  // namespace

void CPortComboBox::showPopup() {
  emit aboutToOpen();
  QComboBox::showPopup();
}

// The USB workers' reports, queued to the panel in the order they were made.
class CUpdataModeDlg::QueuedUsbSink final : public usbjobs::UsbJobSink {
 public:
  explicit QueuedUsbSink(CUpdataModeDlg* panel) : panel_(panel) {}
  void onLog(const std::string& line, base::LogColour colour) override {
    post([p = panel_, line, colour] { p->onLog(line, colour); });
  }
  void onProgress(int percent) override {
    post([p = panel_, percent] { p->onProgress(percent); });
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    post([p = panel_, caption, text, icon] { p->onMessage(caption, text, icon); });
  }
  void onPowerButton(usbjobs::PowerIcon icon, const std::string& caption) override {
    post([p = panel_, icon, caption] { p->onPowerButton(icon, caption); });
  }
  void onControlsEnabled(bool enabled) override {
    post([p = panel_, enabled] { p->onControlsEnabled(enabled); });
  }
  void post(std::function<void()> call) { QMetaObject::invokeMethod(panel_, std::move(call), Qt::QueuedConnection); }

 private:
  CUpdataModeDlg* panel_;
};

CUpdataModeDlg::CUpdataModeDlg(CQX58KT_UPGRADEDlg& window, QWidget* parent)
    : QWidget(parent),
      window_(window),
      link_(window.SerialPort(), window.SerialPortOwner()),
      engine_(link_, *this, window.timers()),
      usbSink_(std::make_unique<QueuedUsbSink>(this)),
      logic_(*this, *usbSink_, [sink = usbSink_.get()](std::function<void()> call) { sink->post(std::move(call)); },
             engine_) {
  setObjectName(QStringLiteral("ispPanel"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(8);

  auto* title = new QLabel(qs(base::text("isppanel.title")), this);
  title->setObjectName(QStringLiteral("ispTitle"));
  title->setAlignment(Qt::AlignCenter);
  title->setAutoFillBackground(true);
  QPalette titlePalette = title->palette();
  titlePalette.setColor(QPalette::Window, QColor(0x1F, 0x3A, 0x5F));
  titlePalette.setColor(QPalette::WindowText, QColor(0xFF, 0xD7, 0x00));
  title->setPalette(titlePalette);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  title->setMinimumHeight(title->fontMetrics().height() * 2);
  column->addWidget(title);

  column->addWidget(buildModelGroup());
  column->addWidget(buildPortGroup());
  column->addWidget(buildEraseGroup());
  column->addWidget(buildButtons());
  column->addWidget(buildPowerGroup());
  column->addStretch(1);

  for (int id : {isp::engine::IspEngine::kTimerSync, isp::engine::IspEngine::kTimerBaudReopen,
                 isp::engine::IspEngine::kTimerBaudConfirm, isp::engine::IspEngine::kTimerLong}) {
    window_.HookTimer(id, [this](int fired) { engine_.OnTimer(fired); });
  }
  window_.SetSerialConsumer(0, this);
}

CUpdataModeDlg::~CUpdataModeDlg() {
  window_.SetSerialConsumer(0, nullptr);
  for (int id : {5, 6, 7, 10}) window_.HookTimer(id, nullptr);
  engine_.ReleasePort();
}

QWidget* CUpdataModeDlg::buildModelGroup() {
  auto* group = new QGroupBox(qs(base::text("isppanel.model_group")), this);
  auto* row = new QHBoxLayout(group);
  connectionIcon_ = new QLabel(group);
  connectionIcon_->setObjectName(QStringLiteral("connectionIcon"));
  showPortOpen(false);
  row->addWidget(connectionIcon_);
  modelName_ = new QLabel(group);
  modelName_->setObjectName(QStringLiteral("modelName"));
  QFont bold = modelName_->font();
  bold.setBold(true);
  modelName_->setFont(bold);
  row->addWidget(modelName_, 1);
  return group;
}

QWidget* CUpdataModeDlg::buildPortGroup() {
  auto* group = new QGroupBox(qs(base::text("isppanel.port_group")), this);
  auto* column = new QVBoxLayout(group);
  ports_ = new CPortComboBox(group);
  ports_->setObjectName(QStringLiteral("portBox"));
  ports_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  ports_->setMinimumContentsLength(12);
  connect(ports_, &CPortComboBox::aboutToOpen, this, &CUpdataModeDlg::rebuildPortList);
  connect(ports_, &QComboBox::activated, this, &CUpdataModeDlg::portChosen);
  column->addWidget(ports_);
  adapterName_ = new QLabel(group);
  adapterName_->setObjectName(QStringLiteral("adapterName"));
  adapterName_->setForegroundRole(QPalette::PlaceholderText);
  adapterName_->setMinimumHeight(adapterName_->fontMetrics().height());
  column->addWidget(adapterName_);
  settingsButton_ = new QPushButton(qs(base::text("isppanel.serial_settings")), group);
  settingsButton_->setObjectName(QStringLiteral("serialSettingsButton"));
  connect(settingsButton_, &QPushButton::clicked, this, &CUpdataModeDlg::openSerialSettings);
  column->addWidget(settingsButton_);
  return group;
}

QWidget* CUpdataModeDlg::buildEraseGroup() {
  auto* group = new QGroupBox(qs(base::text("isppanel.erase_group")), this);
  auto* column = new QVBoxLayout(group);
  eraseChip_ = new QCheckBox(qs(base::text("isppanel.erase_chip")), group);
  eraseChip_->setObjectName(QStringLiteral("eraseChip"));
  connect(eraseChip_, &QCheckBox::toggled, this, [this](bool on) {
    logic_.setEraseChip(on);
    window_.settings().eraseChip = on;
    window_.SaveSettings();
  });
  column->addWidget(eraseChip_);
  return group;
}

QWidget* CUpdataModeDlg::buildButtons() {
  auto* box = new QWidget(this);
  auto* column = new QVBoxLayout(box);
  column->setContentsMargins(0, 0, 0, 0);
  const auto make = [box, column](const char* text, const char* name) {
    auto* b = new QPushButton(qs(base::text(text)), box);
    b->setObjectName(QString::fromLatin1(name));
    b->setMinimumHeight(b->sizeHint().height() * 5 / 4);
    b->setAutoDefault(false);
    column->addWidget(b);
    return b;
  };
  programButton_ = make("isppanel.program", "programButton");
  checkButton_ = make("isppanel.check", "checkButton");
  cancelButton_ = make("isppanel.cancel", "cancelButton");
  connect(programButton_, &QPushButton::clicked, this, &CUpdataModeDlg::program);
  connect(checkButton_, &QPushButton::clicked, this, &CUpdataModeDlg::check);
  connect(cancelButton_, &QPushButton::clicked, this, &CUpdataModeDlg::cancel);
  return box;
}

QWidget* CUpdataModeDlg::buildPowerGroup() {
  auto* group = new QGroupBox(qs(base::text("isppanel.power_group")), this);
  auto* column = new QVBoxLayout(group);
  powerButton_ = new QPushButton(lampIcon(false), qs(base::text("isppanel.power_on")), group);
  powerButton_->setObjectName(QStringLiteral("powerButton"));
  powerButton_->setAutoDefault(false);
  powerButton_->setEnabled(false);  // until "USB" is chosen
  connect(powerButton_, &QPushButton::clicked, this, &CUpdataModeDlg::power);
  column->addWidget(powerButton_);
  return group;
}

void CUpdataModeDlg::applySettings() {
  const mainwin::ToolSettings& s = window_.settings();
  {
    const QSignalBlocker block(eraseChip_);
    eraseChip_->setChecked(s.eraseChip);
  }
  logic_.setEraseChip(s.eraseChip);
  if (window_.currentMcu()) setModelName(window_.currentMcu()->name);
  rebuildPortList();
  selectPortEntry(s.portPath);
}

void CUpdataModeDlg::setModelName(const std::string& name) { modelName_->setText(qs(name)); }

void CUpdataModeDlg::showPortOpen(bool open) {
  connectionIcon_->setPixmap(lampIcon(open).pixmap(kIconSize, kIconSize));
}

void CUpdataModeDlg::rebuildPortList() {
  const QString kept = ports_->currentData().toString();
  const QSignalBlocker block(ports_);
  ports_->clear();
  for (const isp::PortInfo& p : isp::listSerialPorts()) {
    ports_->addItem(qs(p.path), qs(p.path));
    ports_->setItemData(ports_->count() - 1, qs(p.product), Qt::ToolTipRole);
  }
  if (window_.programmerPresent()) ports_->addItem(QString::fromLatin1(mainwin::kUsbPortName), QString::fromLatin1(mainwin::kUsbPortName));
  const int at = ports_->findData(kept);
  ports_->setCurrentIndex(at >= 0 ? at : (ports_->count() > 0 ? 0 : -1));
  portChosen(ports_->currentIndex());
}

void CUpdataModeDlg::selectPortEntry(const std::string& entry) {
  const int at = ports_->findData(qs(entry));
  if (at >= 0) ports_->setCurrentIndex(at);
  portChosen(ports_->currentIndex());
}

void CUpdataModeDlg::portChosen(int index) {
  const std::string entry = index >= 0 ? ports_->itemData(index).toString().toStdString() : std::string();
  logic_.setPortEntry(entry);
  const bool usb = logic_.usbSelected();
  // The adapter behind the port; the programmer's own entry needs no second name.
  const QString adapter = index >= 0 && !usb ? ports_->itemData(index, Qt::ToolTipRole).toString() : QString();
  // One line always, so that the panel keeps its height; the whole name is the tooltip.
  const int room = std::max(ports_->width(), ports_->sizeHint().width());
  adapterName_->setText(adapterName_->fontMetrics().elidedText(adapter, Qt::ElideRight, room));
  adapterName_->setToolTip(adapter);
  link_.setPath(usb ? std::string() : entry);
  powerButton_->setEnabled(usb && !logic_.running());
  window_.SetStoreManagerEnabled(usb);
  mainwin::ToolSettings& s = window_.settings();
  if (index >= 0 && (s.portPath != entry || s.portListIndex != static_cast<std::size_t>(index))) {
    s.portPath = entry;
    s.portListIndex = static_cast<std::size_t>(index);
    window_.SaveSettings();
  }
}

isppanel::LoadedFile CUpdataModeDlg::loadedFile() const {
  isppanel::LoadedFile f;
  f.selected = window_.fileSelected();
  if (window_.imageLoaded()) f.image = &window_.image();
  f.model = window_.currentMcu();
  f.settings = window_.productionSettings();
  f.productionFile = window_.isProductionFile();
  f.encryptedLoadPort = window_.encryptedLoadPort();
  return f;
}

isp::engine::JobOptions CUpdataModeDlg::serialOptions() const {
  const mainwin::ToolSettings& s = window_.settings();
  isp::engine::JobOptions o;
  o.eraseChip = logic_.eraseChip();
  o.calibrateRc = s.calibrateRc;
  o.upgradeBaudCode = static_cast<std::uint8_t>(s.upgradeBaudIndex);
  return o;
}

void CUpdataModeDlg::program() {
  if (logic_.usbSelected()) window_.LookUpProgrammer();
  logic_.program([this] { return loadedFile(); }, [this] { return window_.ReloadProgramFile(); }, serialOptions());
}

void CUpdataModeDlg::check() { logic_.check(loadedFile(), serialOptions()); }

void CUpdataModeDlg::cancel() { logic_.cancel(); }

void CUpdataModeDlg::power() { logic_.power(); }

void CUpdataModeDlg::stopRun() {
  if (logic_.usbRunning()) logic_.cancel();
  engine_.ReleasePort();
}

void CUpdataModeDlg::queryProgrammerVersion() { engine_.QueryVersion(isp::engine::VersionQuery::EncryptedFile); }

void CUpdataModeDlg::openSerialSettings() {
  UartComSetDlg dialog(window_, this);
  dialog.exec();
  rebuildPortList();
  selectPortEntry(window_.settings().portPath);
  showPortOpen(window_.SerialPort().IsOpen());
}

void CUpdataModeDlg::onLog(const std::string& line, base::LogColour colour) {
  if (colour == base::LogColour::Error) window_.SetLogErrorColour();
  window_.Log(line);
}

void CUpdataModeDlg::onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) {
  window_.ShowMessage(text, caption, icon);
}

void CUpdataModeDlg::onProgressRange(int low, int high) {
  progressLow_ = low;
  progressHigh_ = high > low ? high : low + 1;
  window_.progressBar()->setRange(progressLow_, progressHigh_);
}

void CUpdataModeDlg::onProgress(int position) { window_.progressBar()->setValue(position); }

void CUpdataModeDlg::onControlsEnabled(bool enabled) {
  for (QWidget* w : {static_cast<QWidget*>(ports_), static_cast<QWidget*>(settingsButton_),
                     static_cast<QWidget*>(eraseChip_), static_cast<QWidget*>(programButton_),
                     static_cast<QWidget*>(checkButton_)}) {
    w->setEnabled(enabled);
  }
  powerButton_->setEnabled(enabled && logic_.usbSelected());
  window_.SetControlsEnabled(enabled);
  showPortOpen(window_.SerialPort().IsOpen());
}

void CUpdataModeDlg::onPowerButton(usbjobs::PowerIcon icon, const std::string& caption) {
  powerButton_->setIcon(lampIcon(icon == usbjobs::PowerIcon::On));
  powerButton_->setText(qs(caption));
}

void CUpdataModeDlg::onRunEnded(base::Outcome outcome) {
  onControlsEnabled(true);
  emit runEnded(outcome);
}

void CUpdataModeDlg::onFinished(base::Outcome outcome) { logic_.onEngineFinished(outcome); }

void CUpdataModeDlg::onProgrammerInfo(const isp::ProgrammerInfo&, isp::engine::VersionQuery) {
  // The engine keeps the version; Program asks it before an encrypted file goes out.
}

void CUpdataModeDlg::keyPressEvent(QKeyEvent* event) {
  // Enter never closes or triggers anything here.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}
