#include "ui/main/uart_com_set_dlg.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

#include "base/texts.hpp"
#include "isp/port_list.hpp"
#include "isp/serial_port.hpp"
#include "ui/main/isp_panel.hpp"
#include "ui/main/main_window.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Index i of the upgrade-baud box is the baud code SetBaud carries; 0 leaves the choice to the chip.
const char* const kUpgradeRates[] = {nullptr, "1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200"};
const char* const kProgrammingTypes[] = {"FLASH", "IFB", "XDATA"};

}  // namespace

UartComSetDlg::UartComSetDlg(CQX58KT_UPGRADEDlg& window, QWidget* parent) : QDialog(parent), window_(window) {
  setObjectName(QStringLiteral("uartComSetDlg"));
  setWindowTitle(qs(base::text("uartset.caption")));
  auto* column = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  form->setFieldGrowthPolicy(QFormLayout::ExpandingFieldsGrow);

  port_ = new QComboBox(this);
  port_->setObjectName(QStringLiteral("uartPort"));
  port_->setMinimumContentsLength(16);
  form->addRow(qs(base::text("uartset.port")), port_);

  upgradeBaud_ = new QComboBox(this);
  upgradeBaud_->setObjectName(QStringLiteral("upgradeBaud"));
  for (const char* rate : kUpgradeRates) upgradeBaud_->addItem(rate ? QString::fromLatin1(rate) : qs(base::text("uartset.auto")));
  form->addRow(qs(base::text("uartset.upgrade_baud")), upgradeBaud_);

  programmingType_ = new QComboBox(this);
  programmingType_->setObjectName(QStringLiteral("programmingType"));
  for (const char* type : kProgrammingTypes) programmingType_->addItem(QString::fromLatin1(type));
  // Only FLASH is programmed from the panel.
  programmingType_->setEnabled(false);
  form->addRow(qs(base::text("uartset.programming_type")), programmingType_);

  calibrateRc_ = new QCheckBox(qs(base::text("uartset.calibrate_rc")), this);
  calibrateRc_->setObjectName(QStringLiteral("calibrateRc"));
  form->addRow(QString(), calibrateRc_);
  column->addLayout(form);

  auto* openRow = new QHBoxLayout;
  statusIcon_ = new QLabel(this);
  statusIcon_->setObjectName(QStringLiteral("portStatusIcon"));
  openRow->addWidget(statusIcon_);
  openButton_ = new QPushButton(this);
  openButton_->setObjectName(QStringLiteral("openPortButton"));
  openButton_->setAutoDefault(false);
  openRow->addWidget(openButton_, 1);
  column->addLayout(openRow);

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  column->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  const mainwin::ToolSettings& s = window_.settings();
  fillPorts();
  upgradeBaud_->setCurrentIndex(std::clamp(s.upgradeBaudIndex, 0, mainwin::kMaxUpgradeBaudIndex));
  programmingType_->setCurrentIndex(std::clamp(s.programmingTypeIndex, 0, 2));
  calibrateRc_->setChecked(s.calibrateRc);
  showOpenState();

  connect(port_, &QComboBox::activated, this, &UartComSetDlg::store);
  connect(upgradeBaud_, &QComboBox::activated, this, &UartComSetDlg::store);
  connect(calibrateRc_, &QCheckBox::toggled, this, &UartComSetDlg::store);
  connect(openButton_, &QPushButton::clicked, this, &UartComSetDlg::toggleOpen);
}

void UartComSetDlg::fillPorts() {
  port_->clear();
  for (const isp::PortInfo& p : isp::listSerialPorts()) {
    port_->addItem(p.product.empty() ? qs(p.path) : qs(p.path + "  (" + p.product + ")"), qs(p.path));
  }
  const int at = port_->findData(qs(window_.settings().portPath));
  port_->setCurrentIndex(at >= 0 ? at : (port_->count() > 0 ? 0 : -1));
}

void UartComSetDlg::store() {
  mainwin::ToolSettings& s = window_.settings();
  if (port_->currentIndex() >= 0) {
    s.portPath = port_->currentData().toString().toStdString();
    s.portListIndex = static_cast<std::size_t>(port_->currentIndex());
  }
  s.upgradeBaudIndex = upgradeBaud_->currentIndex();
  s.calibrateRc = calibrateRc_->isChecked();
  s.programmingTypeIndex = programmingType_->currentIndex();
  window_.SaveSettings();
}

void UartComSetDlg::showOpenState() {
  const bool open = window_.SerialPort().IsOpen();
  openButton_->setText(qs(base::text(open ? "uartset.close" : "uartset.open")));
  statusIcon_->setPixmap(style()->standardIcon(open ? QStyle::SP_DialogYesButton : QStyle::SP_DialogNoButton).pixmap(16, 16));
  if (window_.ispPanel() != nullptr) window_.ispPanel()->showPortOpen(open);
}

void UartComSetDlg::toggleOpen() {
  isp::CSerialPort& port = window_.SerialPort();
  if (port.IsOpen()) {
    window_.ReleaseSerialPort();
    window_.SetLogErrorColour();
    window_.Log("--> " + base::text("uartset.port_closed"));
  } else if (port_->currentIndex() < 0) {
    window_.ShowMessage(base::text("uartset.wrong_port"), base::text(102), base::MessageIcon::Warning);
  } else {
    store();
    const std::string path = port_->currentData().toString().toStdString();
    const auto baud = static_cast<std::uint32_t>(window_.settings().baudRate);
    if (port.OpenAndConfigure(&window_.SerialPortOwner(), path, baud) && port.StartWorker()) {
      window_.Log("--> " + base::text("uartset.port_open"));
    } else {
      port.Stop();
      window_.ShowMessage(base::text(192), base::text(102), base::MessageIcon::Warning);
    }
  }
  showOpenState();
}
