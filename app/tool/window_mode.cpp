#include <QApplication>

#include "app/tool/modes.hpp"
#include "app/tool/startup.hpp"
#include "ui/main/main_window.hpp"

namespace tool {

int runMainWindow(const CommandLineRequest&) {
  deleteLeftoverExecutable(QCoreApplication::applicationDirPath().toStdString());
  // The programmer and Writer lookups stay empty until the USB layer is wired in here.
  CQX58KT_UPGRADEDlg window;
  window.show();
  return QApplication::exec();
}

}  // namespace tool
