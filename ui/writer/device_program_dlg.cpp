#include "ui/writer/device_program_dlg.hpp"

#include <QCheckBox>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QVBoxLayout>

#include <algorithm>
#include <filesystem>

#include "base/texts.hpp"
#include "device/writer/session.hpp"
#include "firmware/production/checks.hpp"
#include "firmware/production/writer.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
QString textOf(const char* name) { return qs(base::text(name)); }

constexpr int kLimitDigits = 8;
constexpr int kWriterIdDigits = 8;
constexpr int kKeyLength = 16;

bool isProductionProjectPath(const std::string& path) {
  std::string ext = std::filesystem::path(path).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return ext == ".cap";
}

}  // namespace

// The session's reports, carried to the window's thread in the order they were made.
class CDeviceProgramDlg::QueuedSink final : public qx::writer::WriterSink {
 public:
  explicit QueuedSink(CDeviceProgramDlg& panel) : panel_(panel) {}

  void onLog(const std::string& line, base::LogColour colour) override {
    post([line, colour](CDeviceProgramDlg& p) { p.host_.hostLog(line, colour); });
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    post([caption, text, icon](CDeviceProgramDlg& p) { p.host_.hostMessage(caption, text, icon); });
  }
  void onProgressRange(int low, int high) override {
    post([low, high](CDeviceProgramDlg& p) { p.host_.hostProgressRange(low, high); });
  }
  void onProgress(int position) override {
    post([position](CDeviceProgramDlg& p) { p.host_.hostProgress(position); });
  }
  void onControlsEnabled(bool enabled) override {
    post([enabled](CDeviceProgramDlg& p) { p.setControlsEnabled(enabled); });
  }
  void onClearLog() override {
    post([](CDeviceProgramDlg& p) { p.host_.hostClearLog(); });
  }

 private:
  template <typename F>
  void post(F f) {
    CDeviceProgramDlg* panel = &panel_;
    QMetaObject::invokeMethod(panel, [panel, f] { f(*panel); }, Qt::QueuedConnection);
  }

  CDeviceProgramDlg& panel_;
};

CDeviceProgramDlg::CDeviceProgramDlg(writerpanel::PanelHost& host, QWidget* parent)
    : QWidget(parent), host_(host), sink_(std::make_unique<QueuedSink>(*this)) {
  setObjectName(QStringLiteral("writerPanel"));
  session_ = std::make_unique<qx::writer::WriterSession>(*sink_, base::threadLanguage());

  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(6, 6, 6, 6);
  column->setSpacing(8);

  model_ = new QLabel(this);
  model_->setObjectName(QStringLiteral("writerModel"));
  model_->setAlignment(Qt::AlignHCenter);
  QFont bold = model_->font();
  bold.setBold(true);
  model_->setFont(bold);
  column->addWidget(model_);

  title_ = new QLabel(textOf("writer.title"), this);
  title_->setObjectName(QStringLiteral("writerTitle"));
  title_->setAlignment(Qt::AlignCenter);
  title_->setFont(bold);
  title_->setAutoFillBackground(true);
  title_->setMargin(4);
  QPalette titlePalette = title_->palette();
  titlePalette.setColor(QPalette::Window, QColor(0x1F, 0x3A, 0x5F));
  titlePalette.setColor(QPalette::WindowText, QColor(0xFF, 0xD7, 0x00));
  title_->setPalette(titlePalette);
  column->addWidget(title_);

  column->addWidget(buildOptions());

  generate_ = new QPushButton(textOf("writer.generate"), this);
  generate_->setObjectName(QStringLiteral("writerGenerate"));
  generate_->setEnabled(false);
  download_ = new QPushButton(textOf("writer.download"), this);
  download_->setObjectName(QStringLiteral("writerDownload"));
  cancel_ = new QPushButton(textOf("writer.cancel"), this);
  cancel_->setObjectName(QStringLiteral("writerCancel"));
  cancel_->setEnabled(false);
  for (QPushButton* b : {generate_, download_, cancel_}) {
    b->setAutoDefault(false);
    column->addWidget(b);
  }
  connect(generate_, &QPushButton::clicked, this, &CDeviceProgramDlg::Generate);
  connect(download_, &QPushButton::clicked, this, &CDeviceProgramDlg::Download);
  connect(cancel_, &QPushButton::clicked, this, &CDeviceProgramDlg::Cancel);
  column->addStretch(1);
}

CDeviceProgramDlg::~CDeviceProgramDlg() {
  // The thread goes before the sink it reports to.
  session_.reset();
}

QWidget* CDeviceProgramDlg::buildOptions() {
  auto* group = new QGroupBox(textOf("writer.options"), this);
  auto* layout = new QVBoxLayout(group);
  layout->setSpacing(3);
  limit_ = addRow(group, "writer.max_times", "writer.dec");
  userCode_ = addRow(group, "writer.user_code", nullptr);
  writerId_ = addRow(group, "writer.writer_id", "writer.hex");
  key_ = addRow(group, "writer.key", nullptr);

  const QRegularExpression decimal(QStringLiteral("[0-9]*"));
  limit_.edit->setMaxLength(kLimitDigits);
  limit_.edit->setValidator(new QRegularExpressionValidator(decimal, limit_.edit));
  userCode_.edit->setValidator(new QRegularExpressionValidator(decimal, userCode_.edit));
  writerId_.edit->setMaxLength(kWriterIdDigits);
  writerId_.edit->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9A-Fa-f]*")), writerId_.edit));
  writerId_.edit->setAttribute(Qt::WA_InputMethodEnabled, false);
  key_.edit->setMaxLength(kKeyLength);

  connect(limit_.box, &QCheckBox::toggled, this, &CDeviceProgramDlg::onLimit);
  connect(limit_.edit, &QLineEdit::textEdited, this, &CDeviceProgramDlg::onLimit);
  connect(userCode_.box, &QCheckBox::toggled, this, &CDeviceProgramDlg::onUserCode);
  connect(userCode_.edit, &QLineEdit::textEdited, this, &CDeviceProgramDlg::onUserCode);
  connect(writerId_.box, &QCheckBox::toggled, this, &CDeviceProgramDlg::onWriterId);
  connect(writerId_.edit, &QLineEdit::textEdited, this, &CDeviceProgramDlg::onWriterId);
  connect(key_.box, &QCheckBox::toggled, this, &CDeviceProgramDlg::onKey);
  connect(key_.edit, &QLineEdit::textEdited, this, &CDeviceProgramDlg::onKey);
  showOptions(writerpanel::EnterWriterMode(host_.writerSettings(), false));
  return group;
}

CDeviceProgramDlg::Row CDeviceProgramDlg::addRow(QWidget* parent, const char* caption, const char* placeholder) {
  Row row;
  row.box = new QCheckBox(textOf(caption), parent);
  row.box->setObjectName(QString::fromLatin1(caption));
  row.edit = new QLineEdit(parent);
  row.edit->setObjectName(QString::fromLatin1(caption) + QStringLiteral(".edit"));
  if (placeholder != nullptr) row.edit->setPlaceholderText(textOf(placeholder));
  parent->layout()->addWidget(row.box);
  parent->layout()->addWidget(row.edit);
  return row;
}

void CDeviceProgramDlg::showRow(Row& row, const writerpanel::OptionRow& state) {
  const QSignalBlocker blockBox(row.box);
  const QSignalBlocker blockEdit(row.edit);
  row.box->setChecked(state.checked);
  row.box->setEnabled(state.boxEnabled);
  row.edit->setEnabled(state.editEnabled);
  row.edit->setText(qs(state.text));
}

void CDeviceProgramDlg::showOptions(const writerpanel::OptionView& view) {
  showRow(limit_, view.limit);
  showRow(userCode_, view.userCode);
  showRow(writerId_, view.writerId);
  showRow(key_, view.key);
  if (view.generateEnabled && generate_ != nullptr) generate_->setEnabled(*view.generateEnabled);
}

void CDeviceProgramDlg::SetModelName(const std::string& name) { model_->setText(qs(name)); }

void CDeviceProgramDlg::EnterWriterMode() {
  showOptions(writerpanel::EnterWriterMode(host_.writerSettings(), host_.writerImage().fromEncryptedFile));
}

void CDeviceProgramDlg::AfterFileLoaded(bool productionProject) {
  showOptions(
      writerpanel::AfterFileLoaded(host_.writerSettings(), productionProject, host_.writerImage().fromEncryptedFile));
}

void CDeviceProgramDlg::SetReading(bool reading) { session_->setReading(reading); }

void CDeviceProgramDlg::onLimit() {
  // An encrypted program file's limit is the file's.
  if (host_.writerImage().fromEncryptedFile) return;
  const bool on = limit_.box->isChecked();
  limit_.edit->setEnabled(on);
  if (!on) limit_.edit->clear();
  writerpanel::SetLimit(host_.writerSettings(), on, limit_.edit->text().toStdString());
}

void CDeviceProgramDlg::onUserCode() {
  const bool on = userCode_.box->isChecked();
  userCode_.edit->setEnabled(on);
  if (!on) userCode_.edit->clear();
  const writerpanel::UserCodeResult r =
      writerpanel::SetUserCode(host_.writerSettings(), on, userCode_.edit->text().toStdString());
  if (r.refusal) {
    host_.hostMessage(base::text("caption.error"), *r.refusal, base::MessageIcon::Error);
    userCode_.edit->setText(qs(r.restoreText));
    userCode_.edit->end(false);
  }
}

void CDeviceProgramDlg::onWriterId() {
  const bool on = writerId_.box->isChecked();
  writerId_.edit->setEnabled(on);
  if (!on) writerId_.edit->clear();
  writerpanel::SetWriterId(host_.writerSettings(), on, writerId_.edit->text().toStdString());
}

void CDeviceProgramDlg::onKey() {
  const bool on = key_.box->isChecked();
  key_.edit->setEnabled(on);
  if (!on) key_.edit->clear();
  const QByteArray bytes = key_.edit->text().toLatin1();
  writerpanel::SetKey(host_.writerSettings(), on, bytes.toStdString());
}

void CDeviceProgramDlg::setControlsEnabled(bool enabled) {
  download_->setEnabled(enabled);
  cancel_->setEnabled(!enabled);
}

bool CDeviceProgramDlg::downloadEnabled() const { return download_->isEnabled(); }
bool CDeviceProgramDlg::cancelEnabled() const { return cancel_->isEnabled(); }

void CDeviceProgramDlg::Download() {
  const std::string file = host_.selectedFile();
  if (file.empty()) {
    host_.hostMessage(base::text(102), base::text(170), base::MessageIcon::Information);
    return;
  }
  if (!isProductionProjectPath(file) && !host_.reloadSelectedFile()) return;
  if (auto refusal = qx::writer::DownloadRefusal(host_.writerSettings(), host_.writerConnected())) {
    host_.hostMessage(base::text(102), *refusal, base::MessageIcon::Warning);
    return;
  }
  const firmware::MCU* model = host_.writerModel();
  if (model == nullptr) return;
  const std::optional<std::string> path = host_.lookUpWriter();
  if (!path) return;
  qx::writer::DownloadJob job =
      qx::writer::MakeDownloadJob(host_.writerImage(), *model, host_.writerModelCode(), host_.writerSettings(),
                                  host_.openedFileName(), qx::writer::TimeStampNow());
  session_->startDownload(std::move(job), *path);
}

void CDeviceProgramDlg::Cancel() { session_->cancel(); }

void CDeviceProgramDlg::Generate() {
  const std::string file = host_.selectedFile();
  production::ProductionSettings& settings = host_.writerSettings();
  const production::FileKind kind =
      key_.box->isChecked() ? production::FileKind::EncryptedProgram : production::FileKind::ProductionProject;
  if (auto refusal = production::GenerateRefusal(kind, settings, !file.empty(), host_.writerImage().fromEncryptedFile)) {
    host_.hostMessage(base::text(102), *refusal, base::MessageIcon::Warning);
    return;
  }
  const firmware::MCU* model = host_.writerModel();
  if (model == nullptr) return;

  class Sink final : public production::WriteSink {
   public:
    explicit Sink(writerpanel::PanelHost& host) : host_(host) {}
    std::optional<std::filesystem::path> askSavePath(const production::SaveDialog& d) override {
      auto path = host_.askSavePath(d.defaultName.string(), d.defaultExtension, d.filter);
      if (!path) return std::nullopt;
      return std::filesystem::path(*path);
    }
    void onLog(const std::string& text, base::LogColour colour) override { host_.hostLog(text, colour); }
    void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
      host_.hostMessage(caption, text, icon);
    }

   private:
    writerpanel::PanelHost& host_;
  } sink(host_);
  const production::WriteSource source{host_.writerImage(), *model, host_.writerModelCode(), file};
  production::WriteProductionFile(kind, source, settings, sink);
}

void CDeviceProgramDlg::keyPressEvent(QKeyEvent* event) {
  // Enter never starts anything here.
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QWidget::keyPressEvent(event);
}
