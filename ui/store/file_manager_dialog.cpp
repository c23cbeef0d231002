#include "ui/store/file_manager_dialog.hpp"

#include <QCheckBox>
#include <QComboBox>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QStyle>
#include <QThread>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "device/store/store_files.hpp"
#include "ui/main/window_rules.hpp"
#include "widgets/message_box.hpp"
#include "widgets/ui_thread.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
QString textOf(const char* name) { return qs(base::text(name)); }

constexpr const char* kSeriesKey = "SelectedSeries";
constexpr const char* kModelKey = "SelectedModel";
constexpr int kSideWidth = 150;

}  // namespace

// The session's reports: on the dialog's thread at once, from the add worker queued to it, in order.
class CFileManagerDialog::Sink final : public store::StoreSink {
 public:
  explicit Sink(CFileManagerDialog* dialog) : dialog_(dialog) {}

  void onLog(const std::string& line, base::LogColour colour) override {
    post([d = dialog_, line, colour] {
      if (d->services_.log) d->services_.log(line, colour);
    });
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    post([d = dialog_, caption, text, icon] { d->showMessage(caption, text, icon); });
  }
  void onProgressRange(int low, int high) override {
    post([d = dialog_, low, high] { d->progress_->setRange(low, high); });
  }
  void onProgress(int position) override {
    post([d = dialog_, position] { d->progress_->setValue(position); });
  }
  void onControlsEnabled(bool enabled) override {
    post([d = dialog_, enabled] { d->setControlsEnabled(enabled); });
  }
  void onListing(const std::vector<store::StoreRow>& rows, const store::StoreButtons& buttons) override {
    post([d = dialog_, rows, buttons] { d->showListing(rows, buttons); });
  }

 private:
  template <class F>
  void post(F&& f) {
    widgets::postTo(dialog_, std::forward<F>(f));
  }

  CFileManagerDialog* dialog_;
};

CFileManagerDialog::CFileManagerDialog(firmware::McuList models, Services services, QWidget* parent)
    : QDialog(parent), models_(std::move(models)), groups_(firmware::GroupByFamily(models_)), services_(std::move(services)) {
  setObjectName(QStringLiteral("CFileManagerDialog"));
  setWindowTitle(textOf("store.caption"));
  setWindowIcon(style()->standardIcon(QStyle::SP_DriveHDIcon));
  setSizeGripEnabled(true);
  setAcceptDrops(true);
  buildControls();

  sink_ = std::make_unique<Sink>(this);
  session_ = std::make_unique<store::StoreSession>(models_, *sink_, services_.tool);
  worker_ = std::make_unique<store::AddWorker>(*session_, appsettings::storedLanguage());

  fillSeries();
  refresh();
}

CFileManagerDialog::~CFileManagerDialog() {
  // The worker's last reports are queued to a window that is going: wait, and let Qt drop them.
  worker_.reset();
}

void CFileManagerDialog::buildControls() {
  list_ = new QTreeWidget(this);
  list_->setObjectName(QStringLiteral("storeList"));
  list_->setRootIsDecorated(false);
  list_->setUniformRowHeights(true);
  list_->setAllColumnsShowFocus(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  list_->setHeaderLabels({textOf("store.column.name"), textOf("store.column.size"), textOf("store.column.model"),
                          textOf("store.column.verify_code"), textOf("store.column.time")});
  for (int c = 0; c < 5; ++c) list_->setColumnWidth(c, kColumnWidths[c]);
  list_->header()->setStretchLastSection(true);

  series_ = new QComboBox(this);
  model_ = new QComboBox(this);
  refresh_ = new QPushButton(textOf("store.refresh"), this);
  add_ = new QPushButton(textOf("store.add"), this);
  delete_ = new QPushButton(textOf("store.delete"), this);
  default_ = new QPushButton(textOf("store.default"), this);
  userCodeCheck_ = new QCheckBox(textOf("store.user_code"), this);
  userCodeEdit_ = new QLineEdit(this);
  userCodeEdit_->setEnabled(false);
  userCodeEdit_->setMaxLength(10);
  for (QPushButton* b : {refresh_, add_, delete_, default_}) b->setAutoDefault(false);

  auto* side = new QVBoxLayout;
  side->setContentsMargins(0, 0, 0, 0);
  side->addWidget(new QLabel(textOf("store.series"), this));
  side->addWidget(series_);
  side->addSpacing(4);
  side->addWidget(new QLabel(textOf("store.model"), this));
  side->addWidget(model_);
  side->addSpacing(16);
  for (QPushButton* b : {refresh_, add_, delete_, default_}) side->addWidget(b);
  side->addStretch(1);
  side->addWidget(userCodeCheck_);
  side->addWidget(userCodeEdit_);
  auto* sideWidget = new QWidget(this);
  sideWidget->setLayout(side);
  sideWidget->setFixedWidth(kSideWidth);

  statusBar_ = new QStatusBar(this);
  statusBar_->setSizeGripEnabled(false);
  progress_ = new QProgressBar(this);
  progress_->setRange(0, 100);
  progress_->setValue(0);
  progress_->setTextVisible(false);
  statusBar_->addWidget(progress_, 1);

  // The list keeps its left and top edges and grows; the controls keep their distance to the right.
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(10, 10, 10, 4);
  grid->setHorizontalSpacing(10);
  grid->addWidget(list_, 0, 0);
  grid->addWidget(sideWidget, 0, 1, Qt::AlignTop);
  grid->addWidget(statusBar_, 1, 0, 1, 2);
  grid->setColumnStretch(0, 1);
  grid->setRowStretch(0, 1);
  int listWidth = 0;
  for (int w : kColumnWidths) listWidth += w;
  resize(listWidth + kSideWidth + 60, 420);

  connect(series_, &QComboBox::activated, this, [this](int index) {
    fillModels(index);
    appsettings::storeInt(kSeriesKey, index);
    appsettings::storeInt(kModelKey, 0);
  });
  connect(model_, &QComboBox::activated, this, [](int index) { appsettings::storeInt(kModelKey, index); });
  connect(userCodeCheck_, &QCheckBox::toggled, this, [this] { setControlsEnabled(controlsEnabled_); });
  connect(refresh_, &QPushButton::clicked, this, &CFileManagerDialog::refresh);
  connect(add_, &QPushButton::clicked, this, &CFileManagerDialog::addByDialog);
  connect(delete_, &QPushButton::clicked, this, &CFileManagerDialog::deleteSelected);
  connect(default_, &QPushButton::clicked, this, &CFileManagerDialog::makeSelectedDefault);
}

void CFileManagerDialog::fillSeries() {
  for (const firmware::FamilyGroup& g : groups_) series_->addItem(qs(g.familyName));
  int series = appsettings::storedInt(kSeriesKey, 0);
  if (series < 0 || series >= series_->count()) series = 0;
  series_->setCurrentIndex(series);
  fillModels(series);
  const int saved = appsettings::storedInt(kModelKey, 0);
  model_->setCurrentIndex(saved >= 0 && saved < model_->count() ? saved : 0);
}

void CFileManagerDialog::fillModels(int series) {
  model_->clear();
  if (series < 0 || static_cast<std::size_t>(series) >= groups_.size()) return;
  for (const firmware::McuPtr& m : groups_[static_cast<std::size_t>(series)].models) model_->addItem(qs(m->name));
}

firmware::McuPtr CFileManagerDialog::selectedModel() const {
  const int series = series_->currentIndex();
  const int model = model_->currentIndex();
  if (series < 0 || model < 0 || static_cast<std::size_t>(series) >= groups_.size()) return nullptr;
  const firmware::McuList& list = groups_[static_cast<std::size_t>(series)].models;
  return static_cast<std::size_t>(model) < list.size() ? list[static_cast<std::size_t>(model)] : nullptr;
}

std::vector<std::string> CFileManagerDialog::selectedNames() const {
  std::vector<std::string> names;
  for (int i = 0; i < list_->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = list_->topLevelItem(i);
    if (item->isSelected()) names.push_back(item->text(0).toStdString());
  }
  return names;
}

void CFileManagerDialog::refresh() {
  if (!controlsEnabled_) return;
  if (session_->refresh() == store::RefreshResult::Outdated) {
    QMetaObject::invokeMethod(this, &QDialog::reject, Qt::QueuedConnection);
  }
}

void CFileManagerDialog::addByDialog() {
  if (!controlsEnabled_ || selectedModel() == nullptr) return;
  std::optional<std::string> path;
  const std::string filter = base::text("store.file_filter");
  if (services_.chooseFile) {
    path = services_.chooseFile(filter);
  } else {
    const QString chosen = QFileDialog::getOpenFileName(this, QString(), QString(), qs(mainwin::DialogFilter(filter)));
    if (!chosen.isEmpty()) path = chosen.toStdString();
  }
  if (path) addFiles({*path});
}

void CFileManagerDialog::addFiles(const std::vector<std::string>& paths) {
  const firmware::McuPtr model = selectedModel();
  if (model == nullptr || paths.empty()) return;
  std::uint32_t userCode = 0;
  if (userCodeCheck_->isChecked()) {
    const auto parsed = store::parseUserCode(userCodeEdit_->text().trimmed().toStdString());
    if (!parsed) {
      showMessage(base::text(102), base::text("store.invalid_user_code"), base::MessageIcon::Information);
      return;
    }
    userCode = *parsed;
  }
  setControlsEnabled(false);
  for (const std::string& path : paths) worker_->enqueue({path, model, userCode});
}

void CFileManagerDialog::deleteSelected() {
  const std::vector<std::string> names = selectedNames();
  if (!controlsEnabled_ || names.empty()) return;
  const std::string caption = base::text("store.delete_caption");
  const std::string question = base::text("store.delete_question");
  const bool yes = services_.confirm
                       ? services_.confirm(caption, question)
                       : QMessageBox::question(this, qs(caption), qs(question)) == QMessageBox::Yes;
  if (yes) session_->remove(names);
}

void CFileManagerDialog::makeSelectedDefault() {
  const std::vector<std::string> names = selectedNames();
  if (!controlsEnabled_ || names.empty()) return;
  session_->makeDefault(names.front());
}

void CFileManagerDialog::showListing(const std::vector<store::StoreRow>& rows, const store::StoreButtons& buttons) {
  list_->clear();
  for (const store::StoreRow& r : rows) {
    new QTreeWidgetItem(list_, {qs(r.info.name), qs(r.size), qs(r.model), qs(r.verifyCode), qs(r.time)});
  }
  buttons_ = buttons;
  setControlsEnabled(controlsEnabled_);
}

void CFileManagerDialog::setControlsEnabled(bool enabled) {
  // A worker that has just ended may report after the next add was queued.
  controlsEnabled_ = enabled && !adding();
  refresh_->setEnabled(controlsEnabled_);
  add_->setEnabled(controlsEnabled_ && buttons_.add);
  delete_->setEnabled(controlsEnabled_ && buttons_.remove);
  default_->setEnabled(controlsEnabled_ && buttons_.remove);
  series_->setEnabled(controlsEnabled_);
  model_->setEnabled(controlsEnabled_);
  userCodeCheck_->setEnabled(controlsEnabled_);
  userCodeEdit_->setEnabled(controlsEnabled_ && userCodeCheck_->isChecked());
  setAcceptDrops(controlsEnabled_ && buttons_.add);
}

void CFileManagerDialog::showMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) {
  if (services_.message) {
    services_.message(caption, text, icon);
    return;
  }
  widgets::showMessageBox(this, caption, text, icon);
}

void CFileManagerDialog::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CFileManagerDialog::dropEvent(QDropEvent* event) {
  std::vector<std::string> paths;
  for (const QUrl& url : event->mimeData()->urls()) {
    const std::string path = url.toLocalFile().toStdString();
    if (!path.empty() && store::acceptsDroppedFile(path)) paths.push_back(path);
  }
  event->acceptProposedAction();
  addFiles(paths);
}

void CFileManagerDialog::done(int result) {
  if (adding()) return;
  QDialog::done(result);
}
