#include "ui/load/program_device_dialog.hpp"

#include <QComboBox>
#include <QGridLayout>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>

#include "base/texts.hpp"
#include "device/jobs/load_program.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

// Hands the run's texts to the dialog on its thread, in order.
class QueuedSink final : public usbjobs::LoadRunSink {
 public:
  explicit QueuedSink(ProgramDeviceDialog* dialog) : dialog_(dialog) {}
  void onLog(const std::string& text, base::LogColour) override {
    QMetaObject::invokeMethod(dialog_, [d = dialog_, text] { d->appendLog(text); }, Qt::QueuedConnection);
  }
  void onProgress(int percent) override {
    QMetaObject::invokeMethod(dialog_, [d = dialog_, percent] { d->progressBar()->setValue(percent); },
                              Qt::QueuedConnection);
  }
  void onMessage(const std::string&, const std::string& text, base::MessageIcon) override {
    onLog(text, base::LogColour::Error);
  }

 private:
  ProgramDeviceDialog* dialog_;
};

}  // namespace

ProgramDeviceDialog::ProgramDeviceDialog(std::string target, std::string file, usbjobs::LogFile* log, QWidget* parent)
    : QDialog(parent),
      target_(std::move(target)),
      file_(std::move(file)),
      logFile_(log),
      catalogue_(firmware::Catalogue()),
      groups_(firmware::GroupByFamily(catalogue_)),
      series_(new QComboBox(this)),
      models_(new QComboBox(this)),
      log_(new QPlainTextEdit(this)),
      button_(new QPushButton(qs(base::text("load.button")), this)),
      progress_(new QProgressBar(this)) {
  setWindowTitle(qs(base::text("load.caption")));
  log_->setReadOnly(true);
  log_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  progress_->setRange(0, 100);
  progress_->setValue(0);

  auto* grid = new QGridLayout(this);
  grid->addWidget(new QLabel(qs(base::text("load.series")), this), 0, 0);
  grid->addWidget(series_, 0, 1);
  grid->addWidget(new QLabel(qs(base::text("load.model")), this), 0, 2);
  grid->addWidget(models_, 0, 3);
  grid->addWidget(log_, 1, 0, 1, 4);
  grid->addWidget(progress_, 2, 0, 1, 3);
  grid->addWidget(button_, 2, 3);
  grid->setColumnStretch(1, 1);
  grid->setColumnStretch(3, 1);
  resize(420, 240);

  for (const firmware::FamilyGroup& g : groups_) series_->addItem(qs(g.familyName));
  connect(series_, &QComboBox::currentIndexChanged, this, &ProgramDeviceDialog::fillModels);
  connect(button_, &QPushButton::clicked, this, &ProgramDeviceDialog::programDevice);
  fillModels();
  if (firmware::FindByName(catalogue_, target_) == nullptr) {
    appendLog(usbjobs::invalidModelText(target_));
    // Whatever the lists show first was never asked for: nothing is programmed until a model is picked.
    button_->setEnabled(false);
    connect(models_, &QComboBox::activated, this, [this] {
      modelPicked_ = true;
      if (worker_ == nullptr) button_->setEnabled(true);
    });
  } else {
    modelPicked_ = true;
    selectModel(target_);
  }
}

ProgramDeviceDialog::~ProgramDeviceDialog() {
  // The worker's last texts are queued to a window that is going: wait, and let Qt drop them.
  worker_.reset();
}

void ProgramDeviceDialog::fillModels() {
  models_->clear();
  const int i = series_->currentIndex();
  if (i < 0 || static_cast<std::size_t>(i) >= groups_.size()) return;
  for (const firmware::McuPtr& m : groups_[static_cast<std::size_t>(i)].models) models_->addItem(qs(m->name));
  if (models_->count() > 0) models_->setCurrentIndex(0);
}

void ProgramDeviceDialog::selectModel(const std::string& name) {
  for (std::size_t g = 0; g < groups_.size(); ++g) {
    for (std::size_t m = 0; m < groups_[g].models.size(); ++m) {
      if (groups_[g].models[m]->name != name) continue;
      series_->setCurrentIndex(static_cast<int>(g));
      models_->setCurrentIndex(static_cast<int>(m));
      return;
    }
  }
}

void ProgramDeviceDialog::appendLog(const std::string& text) {
  if (text.empty()) return;
  if (logFile_ != nullptr) logFile_->append(text);
  QString t = qs(text);
  t.remove(QLatin1Char('\r'));
  log_->moveCursor(QTextCursor::End);
  log_->insertPlainText(t);
  log_->ensureCursorVisible();
}

void ProgramDeviceDialog::programDevice() {
  if (worker_ != nullptr || !modelPicked_) return;
  const std::string model = models_->currentText().toStdString();
  button_->setEnabled(false);
  series_->setEnabled(false);
  models_->setEnabled(false);
  worker_ = std::make_unique<usbjobs::JobThread>(
      base::threadLanguage(), [this, model, file = file_, catalogue = catalogue_](const std::atomic<bool>&) {
        QueuedSink sink(this);
        const base::Outcome outcome = usbjobs::runLoadProgram(catalogue, model, file, sink);
        QMetaObject::invokeMethod(this, [this, outcome] { endRun(outcome); }, Qt::QueuedConnection);
        return outcome;
      });
}

void ProgramDeviceDialog::endRun(base::Outcome outcome) {
  worker_.reset();
  button_->setEnabled(true);
  series_->setEnabled(true);
  models_->setEnabled(true);
  emit runEnded(outcome);
}

void ProgramDeviceDialog::done(int result) {
  if (worker_ != nullptr) return;
  QDialog::done(result);
}
