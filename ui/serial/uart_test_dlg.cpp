#include "ui/serial/uart_test_dlg.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QFileDialog>
#include <QGridLayout>
#include <QGroupBox>
#include <QIntValidator>
#include <QLabel>
#include <QLineEdit>
#include <QMetaObject>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QUrl>
#include <QVBoxLayout>

#include "base/texts.hpp"
#include "ui/serial/receive_pane.hpp"
#include "ui/serial/serial_views.hpp"
#include "widgets/baud_list.hpp"
#include "widgets/qt_timer_service.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
QString tr8(const char* name) { return qs(base::text(name)); }

const QColor kPanelBrush(0x7D, 0x7D, 0xFF);
const QColor kTitleColour(255, 255, 0);
constexpr base::Millis kPortChangePause{100};
constexpr base::Millis kBaudChangePause{50};

// The open button's icons: a lit lamp while the line is open.
QIcon lampIcon(bool open) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(40, 40, 40), 2));
  p.setBrush(open ? QColor(0, 200, 60) : QColor(150, 150, 150));
  p.drawEllipse(4, 4, 24, 24);
  return QIcon(pixmap);
}

// Rebuilds its list when it drops down: adapters come and go.
class PortBox final : public QComboBox {
 public:
  PortBox(std::function<void()> beforePopup, QWidget* parent) : QComboBox(parent), beforePopup_(std::move(beforePopup)) {}
  void showPopup() override {
    beforePopup_();
    QComboBox::showPopup();
  }

 private:
  std::function<void()> beforePopup_;
};

QLineEdit* numberEdit(const char* name, int digits, QWidget* parent) {
  auto* edit = new QLineEdit(parent);
  edit->setObjectName(QString::fromLatin1(name));
  edit->setMaxLength(digits);
  int top = 9;
  for (int i = 1; i < digits; ++i) top = top * 10 + 9;
  edit->setValidator(new QIntValidator(0, top, edit));
  edit->setAlignment(Qt::AlignRight);
  edit->setMaximumWidth(edit->fontMetrics().horizontalAdvance(QString(7, QLatin1Char('0'))) + 12);
  return edit;
}

}  // namespace

UartTestDlg::UartTestDlg(Host host, CSerialViews* views, QWidget* parent)
    : QWidget(parent),
      host_(std::move(host)),
      views_(views),
      ownTimers_(host_.timers == nullptr ? std::make_unique<widgets::QtTimerService>() : nullptr),
      ownLink_(host_.port == nullptr ? std::make_unique<terminal::SerialPortLink>([this] {
        QMetaObject::invokeMethod(
            this, [this] { if (!deliverTimer_.isActive()) deliverTimer_.start(); }, Qt::QueuedConnection);
      })
                                     : nullptr),
      port_(host_.port != nullptr ? *host_.port : *ownLink_),
      timers_(host_.timers != nullptr ? *host_.timers : *ownTimers_),
      core_(*this, port_, timers_, clock_) {
  setObjectName(QStringLiteral("serialPanel"));
  if (ownTimers_) ownTimers_->setHandler([this](int id) { core_.onTimer(id); });
  deliverTimer_.setSingleShot(true);
  deliverTimer_.setInterval(kDeliverIntervalMs);
  connect(&deliverTimer_, &QTimer::timeout, this, [this] {
    if (ownLink_) ownLink_->deliver(core_, *this);
  });
  if (!host_.listPorts) host_.listPorts = [] { return isp::listSerialPorts(); };
  if (!host_.openFile) {
    host_.openFile = [](const std::filesystem::path& file) {
      QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    };
  }
  if (!host_.chooseLogFile) {
    host_.chooseLogFile = [this]() -> std::optional<std::filesystem::path> {
      const QString file = QFileDialog::getSaveFileName(this, tr8("serial.log_file_caption"));
      if (file.isEmpty()) return std::nullopt;
      return std::filesystem::path(file.toStdString());
    };
  }
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, kPanelBrush);
  setPalette(p);

  buildControls();
  refreshPorts();
  reloadSettings();
  connectControls();
  onPortOpenChanged(port_.isOpen());
}

void UartTestDlg::reloadSettings() {
  const mainwin::ToolSettings& t = *host_.settings;
  core_.applySettings(
      {t.hexDisplay, t.packageDisplay, t.hexSend, t.receiveTimeoutMs, t.sendPeriodMs, t.bytesPerLine, t.autoClear});
  selectBaud(t.baudRate);
  showSettings();
}

UartTestDlg::~UartTestDlg() {
  core_.stopLog();
  if (ownLink_) ownLink_->close();
}

void UartTestDlg::buildControls() {
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(8, 8, 8, 8);
  column->setSpacing(8);

  title_ = new QLabel(tr8("serial.title"), this);
  title_->setObjectName(QStringLiteral("serialTitle"));
  QFont titleFont(QStringLiteral("Arial"));
  titleFont.setBold(true);
  titleFont.setPointSizeF(font().pointSizeF() * 1.35);
  title_->setFont(titleFont);
  QPalette tp = title_->palette();
  tp.setColor(QPalette::WindowText, kTitleColour);
  title_->setPalette(tp);
  title_->setAlignment(Qt::AlignHCenter);
  column->addWidget(title_);

  auto* portGroup = new QGroupBox(this);
  auto* portGrid = new QGridLayout(portGroup);
  portGrid->setColumnStretch(1, 1);
  portGrid->addWidget(new QLabel(tr8("serial.port"), portGroup), 0, 0);
  portBox_ = new PortBox([this] { refreshPorts(); }, portGroup);
  portBox_->setObjectName(QStringLiteral("serialPortBox"));
  portBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  portBox_->setMinimumContentsLength(12);
  portGrid->addWidget(portBox_, 0, 1);
  portGrid->addWidget(new QLabel(tr8("serial.baud"), portGroup), 1, 0);
  baudBox_ = new QComboBox(portGroup);
  baudBox_->setObjectName(QStringLiteral("baudBox"));
  baudBox_->setEditable(true);
  baudBox_->setInsertPolicy(QComboBox::NoInsert);
  baudBox_->lineEdit()->setValidator(new QIntValidator(1, 20'000'000, baudBox_));
  // The list as the system has it; the rates beyond it (460800 and up) are typed.
  widgets::fillBaudBox(*baudBox_);
  portGrid->addWidget(baudBox_, 1, 1);
  openButton_ = new QPushButton(tr8("serial.open_port"), portGroup);
  openButton_->setObjectName(QStringLiteral("serialOpenButton"));
  openButton_->setIconSize(QSize(16, 16));
  portGrid->addWidget(openButton_, 2, 0, 1, 2);
  reopenCheck_ = new QCheckBox(tr8("serial.auto_reopen"), portGroup);
  reopenCheck_->setObjectName(QStringLiteral("reopenCheck"));
  portGrid->addWidget(reopenCheck_, 3, 0, 1, 2);
  column->addWidget(portGroup);

  auto* dataRow = new QHBoxLayout;
  emptyButton_ = new QPushButton(tr8("serial.empty_data"), this);
  emptyButton_->setObjectName(QStringLiteral("emptyDataButton"));
  saveButton_ = new QPushButton(tr8("serial.save_data"), this);
  saveButton_->setObjectName(QStringLiteral("saveDataButton"));
  dataRow->addWidget(emptyButton_);
  dataRow->addWidget(saveButton_);
  column->addLayout(dataRow);
  topCheck_ = new QCheckBox(tr8("serial.top"), this);
  topCheck_->setObjectName(QStringLiteral("topCheck"));
  column->addWidget(topCheck_);

  auto* receiveGroup = new QGroupBox(tr8("serial.receive"), this);
  auto* rx = new QGridLayout(receiveGroup);
  rx->setColumnStretch(1, 1);
  hexDisplayCheck_ = new QCheckBox(tr8("serial.hex_mode"), receiveGroup);
  hexDisplayCheck_->setObjectName(QStringLiteral("hexDisplayCheck"));
  packetCheck_ = new QCheckBox(tr8("serial.subcontracting"), receiveGroup);
  packetCheck_->setObjectName(QStringLiteral("packetCheck"));
  autoClearCheck_ = new QCheckBox(tr8("serial.auto_clear"), receiveGroup);
  autoClearCheck_->setObjectName(QStringLiteral("autoClearCheck"));
  rx->addWidget(hexDisplayCheck_, 0, 0, 1, 2);
  rx->addWidget(packetCheck_, 1, 0, 1, 2);
  rx->addWidget(autoClearCheck_, 2, 0, 1, 2);
  rx->addWidget(new QLabel(tr8("serial.timeout"), receiveGroup), 3, 0);
  timeoutEdit_ = numberEdit("timeoutEdit", 4, receiveGroup);
  rx->addWidget(timeoutEdit_, 3, 1, Qt::AlignRight);
  rx->addWidget(new QLabel(tr8("serial.length_line"), receiveGroup), 4, 0);
  perLineEdit_ = numberEdit("perLineEdit", 2, receiveGroup);
  rx->addWidget(perLineEdit_, 4, 1, Qt::AlignRight);
  logCheck_ = new QCheckBox(tr8("serial.log_to_file"), receiveGroup);
  logCheck_->setObjectName(QStringLiteral("logCheck"));
  rx->addWidget(logCheck_, 5, 0, 1, 2);
  column->addWidget(receiveGroup);

  auto* sendGroup = new QGroupBox(tr8("serial.send_group"), this);
  auto* tx = new QGridLayout(sendGroup);
  tx->setColumnStretch(1, 1);
  hexSendCheck_ = new QCheckBox(tr8("serial.hex_mode"), sendGroup);
  hexSendCheck_->setObjectName(QStringLiteral("hexSendCheck"));
  timedCheck_ = new QCheckBox(tr8("serial.scheduled"), sendGroup);
  timedCheck_->setObjectName(QStringLiteral("timedCheck"));
  tx->addWidget(hexSendCheck_, 0, 0, 1, 2);
  tx->addWidget(timedCheck_, 1, 0, 1, 2);
  tx->addWidget(new QLabel(tr8("serial.interval"), sendGroup), 2, 0);
  intervalEdit_ = numberEdit("intervalEdit", 6, sendGroup);
  tx->addWidget(intervalEdit_, 2, 1, Qt::AlignRight);
  column->addWidget(sendGroup);
  column->addStretch(1);

  // Shown, but not to be changed until the option they belong to is on.
  intervalEdit_->setEnabled(false);
  timeoutEdit_->setEnabled(false);
}

void UartTestDlg::showSettings() {
  const terminal::TerminalSettings s = core_.settings();
  const QSignalBlocker b1(hexDisplayCheck_), b2(packetCheck_), b3(autoClearCheck_), b4(hexSendCheck_),
      b5(timeoutEdit_), b6(perLineEdit_), b7(intervalEdit_);
  hexDisplayCheck_->setChecked(s.hexDisplay);
  packetCheck_->setChecked(s.packetDisplay);
  autoClearCheck_->setChecked(s.autoClear);
  hexSendCheck_->setChecked(s.hexSend);
  timeoutEdit_->setText(QString::number(s.packetTimeoutMs));
  perLineEdit_->setText(QString::number(s.bytesPerLine));
  intervalEdit_->setText(QString::number(s.sendIntervalMs));
  perLineEdit_->setEnabled(s.hexDisplay && !s.packetDisplay);
}

void UartTestDlg::storeSettings() {
  const terminal::TerminalSettings s = core_.settings();
  mainwin::ToolSettings& t = *host_.settings;
  t.hexDisplay = s.hexDisplay;
  t.packageDisplay = s.packetDisplay;
  t.hexSend = s.hexSend;
  t.receiveTimeoutMs = s.packetTimeoutMs;
  t.sendPeriodMs = s.sendIntervalMs;
  t.bytesPerLine = s.bytesPerLine;
  t.autoClear = s.autoClear;
  if (host_.saveSettings) host_.saveSettings();
}

void UartTestDlg::connectControls() {
  connect(openButton_, &QPushButton::clicked, this, [this] { core_.toggleOpen(); });
  connect(emptyButton_, &QPushButton::clicked, this, [this] { core_.clear(); });
  connect(saveButton_, &QPushButton::clicked, this, [this] {
    views_->receivePane()->flush();
    core_.saveReceived(terminal::saveFolder());
  });
  connect(topCheck_, &QCheckBox::toggled, this, [this](bool on) {
    if (host_.setTopmost) host_.setTopmost(on);
  });
  connect(reopenCheck_, &QCheckBox::toggled, this, [this](bool on) { core_.setAutoReopen(on); });
  connect(portBox_, &QComboBox::activated, this, &UartTestDlg::portChosen);
  connect(baudBox_, &QComboBox::activated, this, &UartTestDlg::baudChosen);
  connect(baudBox_->lineEdit(), &QLineEdit::editingFinished, this, &UartTestDlg::baudChosen);

  connect(hexDisplayCheck_, &QCheckBox::toggled, this, [this](bool on) {
    core_.setHexDisplay(on);
    perLineEdit_->setEnabled(on && !packetCheck_->isChecked());
    storeSettings();
  });
  connect(packetCheck_, &QCheckBox::toggled, this, [this](bool on) {
    core_.setPacketDisplay(on);
    timeoutEdit_->setEnabled(on);
    perLineEdit_->setEnabled(!on && hexDisplayCheck_->isChecked());
    storeSettings();
  });
  connect(autoClearCheck_, &QCheckBox::toggled, this, [this](bool on) {
    core_.setAutoClear(on);
    storeSettings();
  });
  connect(timeoutEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (core_.setPacketTimeout(text.toInt())) storeSettings();
  });
  connect(perLineEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (core_.setBytesPerLine(text.toInt())) storeSettings();
  });
  connect(intervalEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
    if (core_.setSendInterval(text.toInt())) storeSettings();
  });
  connect(logCheck_, &QCheckBox::toggled, this, &UartTestDlg::logToFileToggled);

  connect(hexSendCheck_, &QCheckBox::toggled, this, [this](bool on) {
    const std::string line = core_.setHexSend(on, sendText());
    views_->sendLine()->setPlainText(qs(line));
    storeSettings();
  });
  connect(timedCheck_, &QCheckBox::toggled, this, [this](bool on) {
    if (on) intervalEdit_->setEnabled(true);
    core_.setTimedSending(on, sendText());
  });
  connect(views_->sendLine(), &QPlainTextEdit::textChanged, this, [this] { core_.setSendLine(sendText()); });
  connect(views_->sendButton(), &QPushButton::clicked, this, [this] { core_.send(sendText()); });
  connect(views_->receivePane(), &CReceivePane::emptied, this, [this] { core_.onPaneEmptied(); });
}

std::string UartTestDlg::sendText() const { return views_->sendLine()->toPlainText().toStdString(); }

void UartTestDlg::refreshPorts() {
  const std::string current = portPath();
  ports_ = host_.listPorts();
  const QSignalBlocker block(portBox_);
  portBox_->clear();
  for (const isp::PortInfo& p : ports_) {
    portBox_->addItem(qs(isp::portLabel(p)), qs(p.path));
    portBox_->setItemData(portBox_->count() - 1, qs(isp::portLabel(p)), Qt::ToolTipRole);
  }
  const int again = portBox_->findData(qs(current));
  if (again >= 0) {
    portBox_->setCurrentIndex(again);
  } else if (!ports_.empty()) {
    const std::size_t saved = host_.settings->portListIndex;
    portBox_->setCurrentIndex(saved < ports_.size() ? static_cast<int>(saved) : 0);
  }
  port_.setLine(portPath(), port_.baud() != 0 ? port_.baud() : static_cast<std::uint32_t>(host_.settings->baudRate));
}

std::string UartTestDlg::portPath() const { return portBox_->currentData().toString().toStdString(); }

void UartTestDlg::selectPort(const std::string& path) {
  int index = portBox_->findData(qs(path));
  if (index < 0) {
    // A line the list does not know (a pseudo-terminal made by hand) can still be used.
    portBox_->addItem(qs(path), qs(path));
    index = portBox_->count() - 1;
  }
  portBox_->setCurrentIndex(index);
  portChosen(index);
}

void UartTestDlg::portChosen(int index) {
  if (index < 0) return;
  host_.settings->portListIndex = static_cast<std::size_t>(index);
  port_.setLine(portPath(), port_.baud());
  if (host_.saveSettings) host_.saveSettings();
  if (port_.isOpen()) core_.reopen(kPortChangePause);
}

void UartTestDlg::selectBaud(int rate) {
  const QSignalBlocker block(baudBox_);
  const int index = baudBox_->findText(QString::number(rate));
  if (index >= 0) {
    baudBox_->setCurrentIndex(index);
  } else {
    baudBox_->setEditText(QString::number(rate));
  }
  baudChosen();
}

void UartTestDlg::baudChosen() {
  const int rate = baudBox_->currentText().toInt();
  if (rate <= 0) {
    selectBaud(host_.settings->baudRate);
    return;
  }
  const bool changed = static_cast<std::uint32_t>(rate) != port_.baud();
  port_.setLine(portPath(), static_cast<std::uint32_t>(rate));
  if (host_.settings->baudRate != rate) {
    host_.settings->baudRate = rate;
    if (host_.saveSettings) host_.saveSettings();
  }
  if (changed && port_.isOpen()) core_.reopen(kBaudChangePause);
}

void UartTestDlg::logToFileToggled(bool on) {
  if (!on) {
    core_.stopLog();
    return;
  }
  const auto file = host_.chooseLogFile();
  if (!file || !core_.startLog(*file)) {
    const QSignalBlocker block(logCheck_);
    logCheck_->setChecked(false);
    if (file) onMessage(base::text(102), base::text(321), base::MessageIcon::Warning);
  }
}

bool UartTestDlg::topmost() const { return topCheck_->isChecked(); }

void UartTestDlg::enterMode() {
  refreshPorts();
  {
    const QSignalBlocker block(timedCheck_);
    timedCheck_->setChecked(false);
  }
  showSettings();
  timeoutEdit_->setEnabled(core_.settings().packetDisplay);
  if (host_.setTopmost) host_.setTopmost(topmost());
}

void UartTestDlg::leaveMode() {
  // Also ends the timed sends and the wait for a lost adapter of a line that is already closed.
  const bool wasOpen = port_.isOpen();
  core_.closePort();
  if (!wasOpen) return;
  const QSignalBlocker block(portBox_);
  const std::size_t saved = host_.settings->portListIndex;
  if (saved < ports_.size()) portBox_->setCurrentIndex(static_cast<int>(saved));
  onLog("--> " + base::text("serial.port_closed"), base::LogColour::Error);
}

void UartTestDlg::onBytes(std::span<const std::uint8_t> bytes) { core_.onBytes(bytes); }

void UartTestDlg::onLog(const std::string& line, base::LogColour colour) {
  if (host_.log) host_.log(line, colour);
}

void UartTestDlg::onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) {
  if (host_.message) host_.message(text, caption, icon);
}

void UartTestDlg::onDisplay(const terminal::DisplayUpdate& update) { views_->receivePane()->apply(update); }

void UartTestDlg::onPortOpenChanged(bool open) {
  openButton_->setText(qs(base::text(open ? 142 : 141)));
  openButton_->setIcon(lampIcon(open));
}

void UartTestDlg::onTimedSendChanged(bool on) {
  const QSignalBlocker block(timedCheck_);
  timedCheck_->setChecked(on);
}

void UartTestDlg::onSaved(const std::filesystem::path& file) { host_.openFile(file); }
