#include "ui/touch/touch_mode_dlg.hpp"

#include <QComboBox>
#include <QDesktopServices>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QUrl>
#include <QVBoxLayout>

#include "base/texts.hpp"
#include "touch/export.hpp"
#include "touch/table_writer.hpp"
#include "ui/touch/touch_table.hpp"
#include "widgets/baud_list.hpp"
#include "widgets/list_ctrl_cl.hpp"
#include "widgets/qt_timer_service.hpp"

namespace {

const QColor kPanelBrush{0x7D, 0x7D, 0xFF};
const QColor kTitleColour{255, 255, 0};
constexpr int kInitialBaudIndex = 5;  // 19200, the shared settings' rate at creation
// The plot shows at most 30 s; the capacity leaves room for a board that sends every 8 ms.
constexpr base::Millis kHistorySpan{30000};
constexpr std::size_t kHistoryCapacity = 30 * 128;

QString qs(const std::string& s) { return QString::fromStdString(s); }

// A round power symbol: green offers to switch on, red to switch off.
QIcon powerIcon(bool offersPowerOn) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  const QColor colour = offersPowerOn ? QColor(0x1E, 0xA0, 0x3C) : QColor(0xD0, 0x20, 0x20);
  p.setPen(QPen(colour, 4, Qt::SolidLine, Qt::RoundCap));
  p.drawArc(QRect(5, 6, 22, 22), 120 * 16, 300 * 16);
  p.drawLine(16, 3, 16, 15);
  return QIcon(pixmap);
}

// A dot before "Record": red while recording.
QIcon recordIcon(bool recording) {
  QPixmap pixmap(32, 32);
  pixmap.fill(Qt::transparent);
  QPainter p(&pixmap);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(Qt::NoPen);
  p.setBrush(recording ? QColor(0xE0, 0x10, 0x10) : QColor(0x90, 0x90, 0x90));
  p.drawEllipse(QRect(6, 6, 20, 20));
  return QIcon(pixmap);
}

}  // namespace

class CTouchModeDlg::Sink final : public touch::SessionSink {
 public:
  Sink(CTouchModeDlg& panel, CListCtrlCl& table) : panel_(panel), cells_(table), writer_(cells_) {}

  void onLog(const std::string& line, base::LogColour colour) override {
    if (panel_.hooks_.log) panel_.hooks_.log(line, colour == base::LogColour::Error);
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    if (panel_.hooks_.message) panel_.hooks_.message(text, caption, icon);
  }
  void onClearTable() override { writer_.clear(); }
  void onChannelRow(std::size_t i, std::uint8_t number) override { writer_.channelRow(i, number); }
  void onChannelValue(std::size_t i, touch::Field f, std::int32_t v) override { writer_.value(i, f, v); }
  void onChannelCount(std::size_t count) override { writer_.setChannelCount(count); }
  void onKeyFlags(std::uint64_t flags) override { writer_.keyFlags(flags); }
  void onReference(touch::Field f, std::int32_t v) override { writer_.reference(f, v); }
  void onButtons(const touch::ButtonStates& states) override { panel_.applyButtons(states); }
  void onPowerButton(bool offersPowerOn) override { panel_.applyPowerButton(offersPowerOn); }
  void onSample(const touch::ChannelModel& model, base::Millis at) override { panel_.sampleArrived(model, at); }
  void onExported(const std::filesystem::path& file) override {
    if (panel_.hooks_.openFile) {
      panel_.hooks_.openFile(file.string());
    } else {
      QDesktopServices::openUrl(QUrl::fromLocalFile(QString::fromStdString(file.string())));
    }
  }

 private:
  CTouchModeDlg& panel_;
  touchui::TableCells cells_;
  touch::TableWriter writer_;
};

CTouchModeDlg::CTouchModeDlg(CListCtrlCl& table, Hooks hooks, touch::ToolFinder finder, QWidget* parent)
    : QWidget(parent), table_(&table), hooks_(std::move(hooks)), history_(kHistorySpan, kHistoryCapacity) {
  setObjectName(QStringLiteral("touchPanel"));
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(10, 12, 10, 10);
  column->setSpacing(10);

  title_ = new QLabel(qs(base::text("touch.title")), this);
  title_->setObjectName(QStringLiteral("touchTitle"));
  QFont titleFont(QStringLiteral("Arial"));
  titleFont.setBold(true);
  titleFont.setPointSizeF(font().pointSizeF() * 1.6);
  title_->setFont(titleFont);
  QPalette titlePalette = title_->palette();
  titlePalette.setColor(QPalette::WindowText, kTitleColour);
  title_->setPalette(titlePalette);
  title_->setAlignment(Qt::AlignCenter);
  column->addWidget(title_);

  auto* boxes = new QGridLayout;
  boxes->setHorizontalSpacing(6);
  portBox_ = new QComboBox(this);
  portBox_->setObjectName(QStringLiteral("touchPort"));
  baudBox_ = new QComboBox(this);
  baudBox_->setObjectName(QStringLiteral("touchBaud"));
  widgets::fillBaudBox(*baudBox_);
  baudBox_->setCurrentIndex(kInitialBaudIndex);
  baudBox_->setEnabled(false);
  auto* portLabel = new QLabel(qs(base::text("touch.port")), this);
  auto* baudLabel = new QLabel(qs(base::text("touch.baud")), this);
  for (QLabel* l : {portLabel, baudLabel}) l->setStyleSheet(QStringLiteral("color: white;"));
  boxes->addWidget(portLabel, 0, 0);
  boxes->addWidget(portBox_, 0, 1);
  boxes->addWidget(baudLabel, 1, 0);
  boxes->addWidget(baudBox_, 1, 1);
  boxes->setColumnStretch(1, 1);
  column->addLayout(boxes);

  const auto button = [this, column](const QString& caption, const char* name) {
    auto* b = new QPushButton(caption, this);
    b->setObjectName(QString::fromLatin1(name));
    b->setMinimumHeight(b->sizeHint().height() + 6);
    b->setAutoDefault(false);
    column->addWidget(b);
    return b;
  };
  connect_ = button(qs(base::text(195)), "touchConnect");
  run_ = button(qs(base::text("touch.run")), "touchRun");
  stop_ = button(qs(base::text("touch.stop")), "touchStop");
  save_ = button(qs(base::text("touch.save")), "touchSave");
  power_ = button(qs(base::text("usb.power_button_on")), "touchPower");
  power_->setIconSize(QSize(20, 20));
  record_ = button(qs(base::text("touch.record")), "touchRecord");
  record_->setCheckable(true);
  record_->setToolTip(qs(base::text("touch.record_tip")));
  record_->setIcon(recordIcon(false));
  record_->setIconSize(QSize(14, 14));
  column->addStretch(1);

  timers_ = new widgets::QtTimerService(this);
  sink_ = std::make_unique<Sink>(*this, table);
  recorder_ = std::make_unique<touch::SampleRecorder>(*sink_);
  session_ = std::make_unique<touch::TouchSession>(*timers_, *sink_, std::move(finder));
  timers_->setHandler([this](int id) { OnTimer(id); });

  table.SetEditAllowed([this] { return session_->chipConnected(); });
  table.EditBox()->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), table.EditBox()));
  QObject::connect(&table, &CListCtrlCl::cellCommitted, this, &CTouchModeDlg::thresholdCommitted);

  const auto then = [this](void (touch::TouchSession::*press)()) {
    return [this, press] {
      ((*session_).*press)();
      if (SessionActive() != wasActive_) emit sessionChanged(wasActive_ = SessionActive());
    };
  };
  QObject::connect(connect_, &QPushButton::clicked, this, then(&touch::TouchSession::pressConnect));
  QObject::connect(run_, &QPushButton::clicked, this, then(&touch::TouchSession::pressRun));
  QObject::connect(stop_, &QPushButton::clicked, this, then(&touch::TouchSession::pressStop));
  QObject::connect(save_, &QPushButton::clicked, this, then(&touch::TouchSession::pressSave));
  QObject::connect(power_, &QPushButton::clicked, this, then(&touch::TouchSession::pressPower));
  QObject::connect(record_, &QPushButton::toggled, this, &CTouchModeDlg::recordToggled);
  QObject::connect(portBox_, &QComboBox::currentIndexChanged, this, &CTouchModeDlg::portChanged);
  RefreshPorts();
}

CTouchModeDlg::~CTouchModeDlg() {
  if (table_ != nullptr) table_->SetEditAllowed({});
}

touch::SerialTransport& CTouchModeDlg::AttachSerialLink(touch::SerialLink& link, base::TimerService& timers) {
  auto serial = std::make_unique<touch::SerialTransport>(link, timers, *sink_);
  touch::SerialTransport& attached = *serial;
  session_->setSerialTransport(std::move(serial));
  return attached;
}

void CTouchModeDlg::OnTimer(int id) {
  session_->onTimer(id);
  NoteSessionChange();
}

void CTouchModeDlg::NoteSessionChange() {
  if (SessionActive() != wasActive_) emit sessionChanged(wasActive_ = SessionActive());
}

bool CTouchModeDlg::SessionActive() const { return session_ != nullptr && session_->active(); }

void CTouchModeDlg::EndSession() {
  session_->endForModeChange();
  record_->setChecked(false);
  if (SessionActive() != wasActive_) emit sessionChanged(wasActive_ = SessionActive());
}

void CTouchModeDlg::ShowBaudIndex(int index) { baudBox_->setCurrentIndex(index); }

void CTouchModeDlg::RefreshPorts() {
  std::vector<std::string> names = hooks_.portNames ? hooks_.portNames() : std::vector<std::string>{};
  if (std::find(names.begin(), names.end(), std::string(touch::kUsbPortName)) == names.end()) {
    names.emplace_back(touch::kUsbPortName);
  }
  const QString selected = portBox_->currentText();
  portBox_->clear();
  for (const std::string& n : names) portBox_->addItem(qs(n));
  // Touch debugging over the programmer is the usual case; a COM port is chosen by hand.
  const int keep = portBox_->findText(selected.isEmpty() ? QString::fromLatin1(touch::kUsbPortName) : selected);
  portBox_->setCurrentIndex(keep >= 0 ? keep : 0);
  portChanged(portBox_->currentIndex());
}

void CTouchModeDlg::portChanged(int index) {
  if (index < 0) return;
  session_->selectPort(portBox_->itemText(index).toStdString());
  power_->setEnabled(session_->usbSelected());
}

void CTouchModeDlg::thresholdCommitted(int row, int column, const QString& text) {
  if (const auto index = touch::TableWriter::thresholdIndexAt(row, column)) {
    session_->thresholdEdited(*index, text.toStdString());
  }
}

void CTouchModeDlg::sampleArrived(const touch::ChannelModel& model, base::Millis at) {
  history_.add(model, at);
  recorder_->add(model, at);
  // A write that failed has ended the recording.
  if (record_->isChecked() && !recorder_->recording()) record_->setChecked(false);
  emit samplesArrived();
}

void CTouchModeDlg::recordToggled(bool on) {
  record_->setIcon(recordIcon(on));
  if (!on) {
    recorder_->stop();
    return;
  }
  const std::filesystem::path folder = touch::userDataDirectory();
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  if (!recorder_->start(touch::recordingPath(folder, std::chrono::system_clock::now()))) record_->setChecked(false);
}

void CTouchModeDlg::applyButtons(const touch::ButtonStates& s) {
  connect_->setEnabled(s.connect);
  connect_->setText(qs(base::text(s.connectSaysDisconnect ? 196 : 195)));
  run_->setEnabled(s.run);
  stop_->setEnabled(s.stop);
  save_->setEnabled(s.save);
  portBox_->setEnabled(s.portBox);
}

void CTouchModeDlg::applyPowerButton(bool offersPowerOn) {
  power_->setIcon(powerIcon(offersPowerOn));
  power_->setText(qs(base::text(offersPowerOn ? "usb.power_button_on" : "usb.power_button_off")));
}

void CTouchModeDlg::keyPressEvent(QKeyEvent* event) {
  // Enter never reaches a default button of the panel.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}

void CTouchModeDlg::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.fillRect(rect(), kPanelBrush);
}
