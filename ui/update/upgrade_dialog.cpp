#include "ui/update/upgrade_dialog.hpp"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QStyle>
#include <QThread>
#include <QToolButton>
#include <QVBoxLayout>

#include "app/common/app_settings.hpp"
#include "base/event_loop.hpp"
#include "base/texts.hpp"
#include "isp/port_list.hpp"
#include "update/firmware_update.hpp"
#include "widgets/message_box.hpp"
#include "widgets/ui_thread.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
QString textOf(const char* name) { return qs(base::text(name)); }
constexpr const char* kUsbEntry = "USB";

// Rebuilds its list each time it opens, so that a programmer plugged in meanwhile is offered.
class PortBox final : public QComboBox {
 public:
  PortBox(QWidget* parent, std::function<void()> refresh) : QComboBox(parent), refresh_(std::move(refresh)) {}
  void showPopup() override {
    refresh_();
    QComboBox::showPopup();
  }

 private:
  std::function<void()> refresh_;
};

}  // namespace

// Every call reaches the window on its own thread, in order: directly from a check, queued from
// the worker; the Yes/No question waits for the user's answer.
class CQubrixToolUpgradeDialog::Sink final : public update::UpdateSink {
 public:
  explicit Sink(CQubrixToolUpgradeDialog* dialog) : dialog_(dialog) {}

  void onLog(const std::string& line, base::LogColour) override {
    post([d = dialog_, line] { d->status_->setText(qs(line)); });
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    post([d = dialog_, caption, text, icon] { widgets::showMessageBox(d, caption, text, icon); });
  }
  void onProgressRange(int low, int high) override {
    post([d = dialog_, low, high] { d->progress_->setRange(low, high); });
  }
  void onProgress(int position) override {
    post([d = dialog_, position] { d->progress_->setValue(position); });
  }
  void onStatus(const std::string& text) override {
    post([d = dialog_, text] { d->status_->setText(qs(text)); });
  }
  bool onQuestion(const std::string& caption, const std::string& text) override {
    bool yes = false;
    const auto ask = [d = dialog_, &caption, &text, &yes] {
      yes = QMessageBox::question(d, qs(caption), qs(text), QMessageBox::Yes | QMessageBox::No, QMessageBox::No) ==
            QMessageBox::Yes;
    };
    if (QThread::currentThread() == dialog_->thread()) {
      ask();
    } else {
      QMetaObject::invokeMethod(dialog_, ask, Qt::BlockingQueuedConnection);
    }
    return yes;
  }
  void onStarted() override {
    post([d = dialog_] { d->onStarted(); });
  }
  void onFinished() override {
    post([d = dialog_] { d->onFinished(); });
  }
  void onCurrentVersion(const std::string& text) override {
    post([d = dialog_, text] { d->current_->setText(qs(text)); });
  }
  void onSerialNumber(const std::string& text) override {
    post([d = dialog_, text] { d->serial_->setText(qs(text)); });
  }
  void onLatestVersion(const std::string& text) override {
    post([d = dialog_, text] { d->latest_->setText(qs(text)); });
  }
  void onUpdateEnabled(bool enabled) override {
    post([d = dialog_, enabled] { d->update_->setEnabled(enabled); });
  }
  void onCheckEnabled(bool enabled) override {
    post([d = dialog_, enabled] { d->check_->setEnabled(enabled); });
  }

 private:
  template <class F>
  void post(F&& f) {
    widgets::postTo(dialog_, std::forward<F>(f));
  }

  CQubrixToolUpgradeDialog* dialog_;
};

CQubrixToolUpgradeDialog::CQubrixToolUpgradeDialog(QWidget* parent)
    : QDialog(parent), workDir_(std::filesystem::current_path()), wakeDownloader_([](const std::string& path) {
        update::sendQueryVersion(path);
      }) {
  sink_ = new Sink(this);
  setWindowTitle(textOf("update.title"));
  setModal(true);

  portBox_ = new PortBox(this, [this] { refreshPorts(); });
  portBox_->setMinimumContentsLength(24);
  portBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
  refresh_ = new QToolButton(this);
  refresh_->setIcon(style()->standardIcon(QStyle::SP_BrowserReload));
  refresh_->setIconSize(QSize(16, 16));
  check_ = new QPushButton(textOf("update.check"), this);
  check_->setDefault(true);
  localUpdate_ = new QPushButton(textOf("update.local"), this);
  update_ = new QPushButton(textOf("update.update"), this);
  update_->setEnabled(false);

  current_ = new QLabel(this);
  serial_ = new QLabel(this);
  latest_ = new QLabel(this);
  for (QLabel* l : {current_, serial_, latest_}) {
    l->setTextInteractionFlags(Qt::TextSelectableByMouse);
    l->setMinimumWidth(fontMetrics().horizontalAdvance(QStringLiteral("SN: 00000000000")));
  }
  status_ = new QLabel(this);
  status_->setWordWrap(true);
  status_->setMinimumHeight(fontMetrics().lineSpacing() * 2);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setValue(0);

  auto* portRow = new QHBoxLayout;
  portRow->addWidget(new QLabel(textOf("update.label.port"), this));
  portRow->addWidget(portBox_, 1);
  portRow->addWidget(refresh_);

  auto* fields = new QGridLayout;
  fields->setHorizontalSpacing(12);
  fields->addWidget(new QLabel(textOf("update.label.current"), this), 0, 0);
  fields->addWidget(current_, 0, 1);
  fields->addWidget(serial_, 0, 2);
  fields->addWidget(new QLabel(textOf("update.label.latest"), this), 1, 0);
  fields->addWidget(latest_, 1, 1);
  fields->setColumnStretch(2, 1);

  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(check_);
  buttons->addWidget(localUpdate_);
  buttons->addWidget(update_);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(portRow);
  layout->addLayout(fields);
  layout->addWidget(status_);
  layout->addWidget(progress_);
  layout->addLayout(buttons);
  setMinimumWidth(480);

  connect(refresh_, &QToolButton::clicked, this, &CQubrixToolUpgradeDialog::refreshPorts);
  connect(portBox_, &QComboBox::currentIndexChanged, this, [this] {
    update_->setEnabled(false);
    check_->setEnabled(true);
    record_.reset();
  });
  connect(check_, &QPushButton::clicked, this, &CQubrixToolUpgradeDialog::check);
  connect(update_, &QPushButton::clicked, this, &CQubrixToolUpgradeDialog::startUpdate);
  connect(localUpdate_, &QPushButton::clicked, this, [this] {
    if (!portSelected()) return;
    const QString file = QFileDialog::getOpenFileName(this, QString(), QString(), QStringLiteral("*.bin"));
    if (!file.isEmpty()) startLocalUpdate(file);
  });
  refreshPorts();
}

CQubrixToolUpgradeDialog::~CQubrixToolUpgradeDialog() {
  if (worker_.joinable()) worker_.join();
  delete sink_;
}

void CQubrixToolUpgradeDialog::refreshPorts() {
  const QString selected = portBox_->currentText();
  const QSignalBlocker block(portBox_);
  portBox_->clear();
  for (const isp::PortInfo& port : isp::listSerialPorts()) {
    portBox_->addItem(qs(isp::portLabel(port)), qs(port.path));
  }
  portBox_->addItem(QString::fromLatin1(kUsbEntry), QString());
  const int again = portBox_->findText(selected);
  portBox_->setCurrentIndex(again >= 0 ? again : portBox_->count() - 1);
}

bool CQubrixToolUpgradeDialog::usbSelected() const { return portBox_->currentData().toString().isEmpty(); }

std::string CQubrixToolUpgradeDialog::selectedPath() const { return portBox_->currentData().toString().toStdString(); }

bool CQubrixToolUpgradeDialog::portSelected() {
  if (portBox_->currentIndex() >= 0) return true;
  QMessageBox::information(this, qs(base::text(102)), textOf("update.select_port"));
  return false;
}

void CQubrixToolUpgradeDialog::check() {
  if (!portSelected()) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  update_->setEnabled(false);
  std::optional<update::CheckResult> found;
  if (usbSelected()) {
    found = update::checkUsb(*sink_, workDir_);
  } else {
    if (releasePort_) releasePort_();
    found = update::checkCom(selectedPath(), *sink_, workDir_, wakeDownloader_);
  }
  QApplication::restoreOverrideCursor();
  record_.reset();
  if (found && found->updateOffered) record_ = found->record;
}

void CQubrixToolUpgradeDialog::startUpdate() {
  if (!portSelected() || !record_) return;
  startWorker(std::nullopt);
}

void CQubrixToolUpgradeDialog::startLocalUpdate(const QString& file) {
  if (!portSelected()) return;
  startWorker(std::filesystem::path(file.toStdString()));
}

void CQubrixToolUpgradeDialog::startWorker(std::optional<std::filesystem::path> localFile) {
  if (busy_) return;
  if (worker_.joinable()) worker_.join();
  if (!usbSelected() && releasePort_) releasePort_();
  update::UpdateRequest request;
  request.localFile = std::move(localFile);
  if (record_) request.record = *record_;
  request.workDir = workDir_;
  const bool usb = usbSelected();
  const std::string path = selectedPath();
  const int language = appsettings::storedLanguage();
  // Busy at once, so that nothing can close the window before the worker's first report arrives.
  busy_ = true;
  worker_ = std::thread([this, request, usb, path, language] {
    base::setThreadLanguage(language);
    if (usb) {
      base::EventLoop timers;
      update::updateOverUsb(request, *sink_, timers);
    } else {
      update::updateOverSerial(request, path, *sink_);
    }
  });
}

void CQubrixToolUpgradeDialog::onStarted() {
  busy_ = true;
  for (QWidget* w : std::initializer_list<QWidget*>{check_, update_, localUpdate_, portBox_, refresh_}) {
    w->setEnabled(false);
  }
  progress_->setValue(0);
  emit updateStarted();
}

void CQubrixToolUpgradeDialog::onFinished() {
  for (QWidget* w : std::initializer_list<QWidget*>{check_, localUpdate_, portBox_, refresh_}) w->setEnabled(true);
  update_->setEnabled(false);
  record_.reset();
  if (worker_.joinable()) worker_.join();
  busy_ = false;
  emit updateFinished();
}

bool CQubrixToolUpgradeDialog::mayClose() {
  if (busy_) {
    QMessageBox::information(this, qs(base::text(102)), textOf("update.busy"));
    return false;
  }
  if (releasePort_) releasePort_();
  return true;
}

void CQubrixToolUpgradeDialog::closeEvent(QCloseEvent* event) {
  if (mayClose()) {
    QDialog::closeEvent(event);
  } else {
    event->ignore();
  }
}

void CQubrixToolUpgradeDialog::reject() {
  if (mayClose()) QDialog::reject();
}
