// The main window's "&Firmware" item: the firmware store manager over the window, while "USB" is the
// ISP panel's port.
#include <QAction>

#include "base/texts.hpp"
#include "ui/main/main_window.hpp"
#include "ui/store/file_manager_dialog.hpp"

void CQX58KT_UPGRADEDlg::SetStoreManagerEnabled(bool enabled) { storeAction_->setEnabled(enabled); }

bool CQX58KT_UPGRADEDlg::storeManagerEnabled() const { return storeAction_->isEnabled(); }

void CQX58KT_UPGRADEDlg::OpenStoreManager() {
  if (services_.touchSessionBlocksStore && services_.touchSessionBlocksStore()) return;
  if (mainwin::programmersOf(services_.lookups).empty()) {
    showMessage(base::text(252), base::text(102), base::MessageIcon::Information);
    return;
  }
  if (services_.openStoreManager) {
    services_.openStoreManager(this, modelList_);
    return;
  }
  CFileManagerDialog::Services store;
  store.log = [this](const std::string& line, base::LogColour colour) {
    if (colour == base::LogColour::Error) SetLogErrorColour();
    Log(line);
  };
  CFileManagerDialog dialog(modelList_, std::move(store), this);
  dialog.exec();
}
