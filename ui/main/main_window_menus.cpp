// The menu bar of the main window: models, modes, language, updates and the About box.
#include <QActionGroup>
#include <QApplication>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressBar>

#include "app/common/app_settings.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "ui/main/isp_panel.hpp"
#include "ui/main/main_window.hpp"
#include "ui/main/mode_plan.hpp"
#include "ui/main/window_rules.hpp"
#include "ui/update/upgrade_dialog.hpp"
#include "ui/writer/device_program_dlg.hpp"
#include "update/self_update.hpp"
#include "widgets/message_box.hpp"

#ifndef QUBRIX_VERSION
#define QUBRIX_VERSION "0.0.0"
#endif

namespace {

QString qs(const std::string& s) { return QString::fromStdString(s); }
QString textOf(const char* name) { return qs(base::text(name)); }

// Model positions above this are not taken, as the command range ends there.
constexpr int kLastModelPosition = 2000;

// The program's own update on the user-interface thread: its boxes, and the download on the
// window's progress bar.
class SelfUpdateBoxes final : public update::SelfUpdateSink {
 public:
  SelfUpdateBoxes(QWidget* window, QProgressBar* progress) : window_(window), progress_(progress) {}
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    widgets::showMessageBox(window_, caption, text, icon);
  }
  void onProgress(int percent) override {
    progress_->setValue(percent);
    progress_->repaint();
  }
  bool onQuestion(const std::string& caption, const std::string& text) override {
    return QMessageBox::question(window_, qs(caption), qs(text), QMessageBox::Yes | QMessageBox::No) ==
           QMessageBox::Yes;
  }

 private:
  QWidget* window_;
  QProgressBar* progress_;
};

}  // namespace

void CQX58KT_UPGRADEDlg::CheckForUpdate() {
  SelfUpdateBoxes boxes(this, progress_);
  const auto result = update::selfUpdate(QUBRIX_VERSION, update::ownExecutable(), boxes);
  if (result.outcome != base::Outcome::Success || result.successor.empty()) return;
  if (!update::startProgram(result.successor)) {
    boxes.onMessage(base::text("update.self.caption"), base::text("update.self.not_started"), base::MessageIcon::Error);
    return;
  }
  QApplication::exit(0);
}

void CQX58KT_UPGRADEDlg::buildMenus() {
  QMenuBar* bar = menuBar();
  bar->addMenu(buildModelMenu());

  const struct {
    const char* name;
    int mode;
  } modes[] = {{"main.menu.isp", mainwin::kModeIsp},
               {"main.menu.writer", mainwin::kModeWriter},
               {"main.menu.touch", mainwin::kModeTouch},
               {"main.menu.serial", mainwin::kModeSerial}};
  for (const auto& m : modes) {
    QAction* action = bar->addAction(textOf(m.name));
    action->setObjectName(QString::fromLatin1(m.name));
    if (m.mode == mainwin::kModeWriter) {
      connect(action, &QAction::triggered, this, &CQX58KT_UPGRADEDlg::switchToWriterMode);
    } else {
      connect(action, &QAction::triggered, this, [this, mode = m.mode] { SwitchMode(mode); });
    }
  }
  storeAction_ = bar->addAction(textOf("main.menu.firmware"));
  storeAction_->setObjectName(QStringLiteral("main.menu.firmware"));
  storeAction_->setEnabled(false);
  connect(storeAction_, &QAction::triggered, this, &CQX58KT_UPGRADEDlg::OpenStoreManager);

  QMenu* help = bar->addMenu(textOf("main.menu.help"));
  QMenu* language = help->addMenu(textOf("main.menu.language"));
  auto* languages = new QActionGroup(this);
  chineseAction_ = language->addAction(textOf("main.menu.chinese"));
  englishAction_ = language->addAction(textOf("main.menu.english"));
  chineseAction_->setObjectName(QStringLiteral("main.menu.chinese"));
  englishAction_->setObjectName(QStringLiteral("main.menu.english"));
  for (QAction* a : {chineseAction_, englishAction_}) {
    a->setCheckable(true);
    languages->addAction(a);
  }
  const bool english = appsettings::storedLanguage() == base::kLangEnglish;
  (english ? englishAction_ : chineseAction_)->setChecked(true);
  connect(chineseAction_, &QAction::triggered, this, [this] { SwitchLanguage(base::kLangChinese); });
  connect(englishAction_, &QAction::triggered, this, [this] { SwitchLanguage(base::kLangEnglish); });

  // A touch session greys "Firmware Update" through the action found by its object name.
  QAction* firmwareUpdate = help->addAction(textOf("main.menu.firmware_update"));
  firmwareUpdate->setObjectName(QStringLiteral("main.menu.firmware_update"));
  connect(firmwareUpdate, &QAction::triggered, this, [this] {
    CQubrixToolUpgradeDialog dialog(this);
    dialog.exec();
  });
  QAction* checkUpdate = help->addAction(textOf("main.menu.check_update"));
  checkUpdate->setObjectName(QStringLiteral("main.menu.check_update"));
  connect(checkUpdate, &QAction::triggered, this, &CQX58KT_UPGRADEDlg::CheckForUpdate);
  help->addSeparator();
  QAction* about = help->addAction(qs(base::text(base::txt::kAboutMenu)));
  connect(about, &QAction::triggered, this, [this] {
    const std::string title = mainwin::WindowTitle(QUBRIX_VERSION);
    QMessageBox::about(this, textOf("main.about.caption"),
                       qs(base::format(base::text("main.about.text").c_str(), title.c_str())));
  });

  auto* save = new QAction(this);
  save->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
  save->setShortcutContext(Qt::WindowShortcut);
  connect(save, &QAction::triggered, this, &CQX58KT_UPGRADEDlg::saveByDialog);
  addAction(save);
}

QMenu* CQX58KT_UPGRADEDlg::buildModelMenu() {
  auto* menu = new QMenu(qs(base::text(base::txt::kMcuModelMenu)), this);
  menu->setObjectName(QStringLiteral("modelMenu"));
  modelGroup_ = new QActionGroup(this);
  modelActions_.assign(modelList_.size(), nullptr);
  std::size_t position = 0;
  for (const firmware::FamilyGroup& group : firmware::GroupByFamily(modelList_)) {
    QMenu* family = menu->addMenu(qs(group.familyName));
    for (const firmware::McuPtr& m : group.models) {
      // GroupByFamily keeps list order, so positions follow the catalogue list.
      while (position < modelList_.size() && modelList_[position] != m) ++position;
      QAction* a = family->addAction(qs(m->name));
      a->setCheckable(true);
      const int command = kModelCommandBase + static_cast<int>(position);
      a->setData(command);
      modelGroup_->addAction(a);
      if (position < modelActions_.size()) modelActions_[position] = a;
      connect(a, &QAction::triggered, this, [this, command] { SelectModelCommand(command); });
    }
  }
  return menu;
}

void CQX58KT_UPGRADEDlg::SelectModelCommand(int commandId) {
  const int position = commandId - kModelCommandBase;
  if (position < 0 || position > kLastModelPosition || static_cast<std::size_t>(position) >= modelList_.size()) {
    return;
  }
  setCurrentModel(static_cast<std::size_t>(position));
  if (!filePath_.empty()) loadCurrentFile();
  saveSettings();
}

void CQX58KT_UPGRADEDlg::setCurrentModel(std::size_t position) {
  currentMcu_ = modelList_[position];
  mcuTypeIndex_ = firmware::TypeIndex(*currentMcu_);
  if (QAction* a = modelActions_[position]) a->setChecked(true);
  writerPanel_->SetModelName(currentMcu_->name);
  if (ispPanel_ != nullptr) ispPanel_->setModelName(currentMcu_->name);
}

void CQX58KT_UPGRADEDlg::selectModelByCode(std::uint16_t modelCode) {
  for (std::size_t i = 0; i < modelList_.size(); ++i) {
    if (firmware::TypeIndex(*modelList_[i]) == modelCode) {
      setCurrentModel(i);
      saveSettings();
      return;
    }
  }
}

void CQX58KT_UPGRADEDlg::selectInitialModel() {
  if (modelList_.empty()) return;
  std::size_t position = 0;
  if (settings_.mcuTypeIndex) {
    const firmware::McuPtr saved = firmware::FindByTypeIndex(modelList_, *settings_.mcuTypeIndex);
    for (std::size_t i = 0; i < modelList_.size(); ++i) {
      if (modelList_[i] == saved) position = i;
    }
  }
  setCurrentModel(position);
}

void CQX58KT_UPGRADEDlg::SwitchLanguage(int langId) {
  appsettings::storeLanguage(langId);
  services_.restart();
}
