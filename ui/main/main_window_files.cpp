// Program files in the main window: opening by dialog and by drop, loading for the selected model,
// saving the image and copying its checksum.
#include <QClipboard>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileDialog>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>

#include <filesystem>
#include <fstream>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "isp/panel/isp_panel.hpp"
#include "ui/main/isp_panel.hpp"
#include "firmware/loader.hpp"
#include "ui/main/image_save.hpp"
#include "ui/main/log_pane.hpp"
#include "ui/main/main_window.hpp"
#include "ui/main/mode_plan.hpp"
#include "ui/main/window_rules.hpp"
#include "ui/writer/device_program_dlg.hpp"
#include "widgets/hexeditbase.hpp"

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }

}  // namespace

// What the loader reports goes straight to the window's controls.
class CQX58KT_UPGRADEDlg::LoadSink final : public firmware::LoadSink {
 public:
  explicit LoadSink(CQX58KT_UPGRADEDlg& w) : w_(w) {}
  void onLog(const std::string& text, base::LogColour colour) override {
    if (colour == base::LogColour::Error) w_.SetLogErrorColour();
    w_.Log(text);
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    w_.showMessage(text, caption, icon);
  }
  void checksumLabel(const std::string& text) override { w_.checksumLabel_->setText(qs(text)); }
  void fileSizeLabel(const std::string& text) override { w_.fileSizeLabel_->setText(qs(text)); }
  void showImage(std::span<const std::uint8_t> bytes) override { w_.hexEdit_->SetData(bytes.data(), bytes.size()); }
  void fileNameField(const std::string& text) override { w_.pathEdit_->setText(qs(text)); }
  void modelSelected(std::uint16_t modelCode, const std::string&) override { w_.selectModelByCode(modelCode); }
  // Outside ISP mode nothing goes over a serial port, so the programmer is not asked.
  firmware::IspPortChoice ispPortChoice() override {
    if (w_.currentMode_ != mainwin::kModeIsp) return firmware::IspPortChoice::Usb;
    const std::string entry = w_.ispPanel_->portEntry();
    if (entry.empty()) return firmware::IspPortChoice::NoSelection;
    return isppanel::isUsbEntry(entry) ? firmware::IspPortChoice::Usb : firmware::IspPortChoice::SerialPort;
  }
  void askSerialProgrammerVersion() override { w_.ispPanel_->queryProgrammerVersion(); }

 private:
  CQX58KT_UPGRADEDlg& w_;
};

bool CQX58KT_UPGRADEDlg::OpenProgramFile(const std::string& path, bool dropped) {
  // A path from the command line or a file manager may name nothing readable; the loaders would
  // refuse it without a word for a HEX file.
  if (!std::ifstream(path, std::ios::binary)) {
    showMessage(base::text("firmware.read_error"), base::text(base::txt::kTip), base::MessageIcon::Warning);
    return false;
  }
  const std::optional<mainwin::FileChoice> choice = mainwin::ChooseProgramFile(path);
  if (!choice) {
    if (dropped) showMessage(base::text("main.drop_refused"), base::text(base::txt::kTip), base::MessageIcon::Warning);
    return false;
  }
  pathEdit_->setText(qs(path));
  filePath_ = path;
  lastDirectory_ = std::filesystem::path(path).parent_path().string();
  isHexFile_ = choice->isHexFile;
  isEncryptedProgram_ = choice->isEncryptedProgram;
  isProductionProject_ = choice->isProductionProject;
  if (choice->note) LogText(*choice->note);
  if (!dropped) openedFileName_ = std::filesystem::path(path).stem().string();
  const bool loaded = loadCurrentFile();
  writerPanel_->AfterFileLoaded(loaded && isProductionProject_);
  menuBar()->update();
  return loaded;
}

bool CQX58KT_UPGRADEDlg::loadCurrentFile() {
  const auto choice = mainwin::ChooseProgramFile(filePath_);
  if (!choice || !currentMcu_) return false;
  firmware::LoadTarget target{mcuTypeIndex_,
                              currentMode_ == mainwin::kModeIsp ? firmware::LoadMode::Isp : firmware::LoadMode::Other,
                              &modelList_};
  // Nothing of a production file may ride along with the next file: its limits would go out with
  // it. What the user set in the Writer panel for a plain file stays across a reload.
  if (settingsFromFile_ || choice->isEncryptedProgram || choice->isProductionProject) productionSettings_ = {};
  image_.header = {};
  target.settings = &productionSettings_;
  LoadSink sink(*this);
  imageLoaded_ = firmware::LoadProgramFile(filePath_, choice->kind, target, image_, sink);
  settingsFromFile_ = imageLoaded_ && (choice->isEncryptedProgram || choice->isProductionProject);
  if (imageLoaded_) {
    encryptedLoadPort_.reset();
    if (image_.fromEncryptedFile && ispPanel_ != nullptr) encryptedLoadPort_ = ispPanel_->portEntry();
    return true;
  }
  forgetFile();
  return false;
}

void CQX58KT_UPGRADEDlg::forgetFile() {
  // The path, the image and the labels describe the same file: after a refusal, none. A model
  // change then has nothing to reload and shows no refusal again.
  const std::uint16_t code = mcuTypeIndex_;
  image_ = firmware::ProgramImage{};
  productionSettings_ = {};
  settingsFromFile_ = false;
  encryptedLoadPort_.reset();
  filePath_.clear();
  isHexFile_ = isEncryptedProgram_ = isProductionProject_ = false;
  pathEdit_->setText(qs(base::text(169)));
  checksumLabel_->setText(qs(base::format(base::text(148).c_str(), 0u)));
  fileSizeLabel_->setText(qs(base::format(base::text(316).c_str(), 0.0)));
  const std::vector<std::uint8_t> blank = firmware::BlankView(code);
  hexEdit_->SetData(blank.data(), blank.size());
}

bool CQX58KT_UPGRADEDlg::ReloadProgramFile() { return !filePath_.empty() && loadCurrentFile(); }

void CQX58KT_UPGRADEDlg::openByDialog() {
  const QString path =
      QFileDialog::getOpenFileName(this, qs(base::text("main.open")), qs(lastDirectory_),
                                   qs(mainwin::DialogFilter(base::text(base::txt::kProgramFileFilter))));
  if (!path.isEmpty()) OpenProgramFile(path.toStdString(), false);
}

void CQX58KT_UPGRADEDlg::dragEnterEvent(QDragEnterEvent* event) {
  if (event->mimeData()->hasUrls()) event->acceptProposedAction();
}

void CQX58KT_UPGRADEDlg::dropEvent(QDropEvent* event) {
  for (const QUrl& url : event->mimeData()->urls()) {
    if (url.isLocalFile()) OpenProgramFile(url.toLocalFile().toStdString(), true);
  }
  event->acceptProposedAction();
}

void CQX58KT_UPGRADEDlg::saveByDialog() {
  if (const std::optional<int> refusal = mainwin::SaveRefusal(image_)) {
    showMessage(base::text(*refusal), base::text(base::txt::kTip), base::MessageIcon::Information);
    return;
  }
  QFileDialog dialog(this, qs(base::text("main.save")), qs(lastDirectory_), QStringLiteral("*.bin;;*.txt"));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QStringLiteral("bin"));
  connect(&dialog, &QFileDialog::filterSelected, &dialog,
          [&dialog](const QString& filter) { dialog.setDefaultSuffix(filter.mid(2)); });
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
  SaveImageTo(dialog.selectedFiles().constFirst().toStdString());
}

void CQX58KT_UPGRADEDlg::SaveImageTo(const std::string& path) {
  if (const std::optional<int> refusal = mainwin::SaveRefusal(image_)) {
    showMessage(base::text(*refusal), base::text(base::txt::kTip), base::MessageIcon::Information);
    return;
  }
  switch (mainwin::SaveImageFile(path, mainwin::SavedBytes(image_))) {
    case mainwin::SaveResult::Saved:
      showMessage(base::text(base::txt::kSavedSuccessfully), base::text(base::txt::kTip),
                  base::MessageIcon::Information);
      break;
    case mainwin::SaveResult::CannotWrite:
      showMessage(base::text(base::txt::kSaveFailed), base::text(base::txt::kTip), base::MessageIcon::Warning);
      break;
    case mainwin::SaveResult::NoKind:
      break;
  }
}

void CQX58KT_UPGRADEDlg::CopyChecksum() {
  QGuiApplication::clipboard()->setText(qs(mainwin::ChecksumClipboardText(image_.totalChecksum)));
}

bool CQX58KT_UPGRADEDlg::eventFilter(QObject* watched, QEvent* event) {
  if (watched == checksumLabel_ &&
      (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonDblClick)) {
    CopyChecksum();
    return true;
  }
  return QMainWindow::eventFilter(watched, event);
}
