// The main window as the Writer panel's host: its image, model and settings, the Writer lookup, and
// the log, progress bar and message boxes the download reports into.
#include <QFileDialog>
#include <QProgressBar>

#include "base/texts.hpp"
#include "ui/main/log_pane.hpp"
#include "ui/main/main_window.hpp"
#include "ui/main/mode_plan.hpp"
#include "ui/main/window_rules.hpp"
#include "ui/writer/device_program_dlg.hpp"

void CQX58KT_UPGRADEDlg::switchToWriterMode() {
  SwitchMode(mainwin::kModeWriter);
  writerPanel_->EnterWriterMode();
}

bool CQX58KT_UPGRADEDlg::writerConnected() { return writerPresent_ || mainwin::writerOf(services_.lookups).has_value(); }

std::optional<std::string> CQX58KT_UPGRADEDlg::lookUpWriter() {
  LookUpProgrammer();
  if (!toolPresent_ || !writer_) return std::nullopt;
  return writer_->path;
}

void CQX58KT_UPGRADEDlg::hostLog(const std::string& line, base::LogColour colour) {
  if (colour == base::LogColour::Error) SetLogErrorColour();
  Log(line);
}

void CQX58KT_UPGRADEDlg::hostClearLog() { log_->Clear(); }

void CQX58KT_UPGRADEDlg::hostProgressRange(int low, int high) { progress_->setRange(low, high); }

void CQX58KT_UPGRADEDlg::hostProgress(int position) { progress_->setValue(position); }

void CQX58KT_UPGRADEDlg::hostMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) {
  showMessage(text, caption, icon);
}

std::optional<std::string> CQX58KT_UPGRADEDlg::askSavePath(const std::string& defaultName, const std::string& extension,
                                                           const std::string& filter) {
  QFileDialog dialog(this, QString(), QString::fromStdString(defaultName),
                     QString::fromStdString(mainwin::DialogFilter(filter)));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setDefaultSuffix(QString::fromStdString(extension));
  dialog.selectFile(QString::fromStdString(defaultName));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst().toStdString();
}
