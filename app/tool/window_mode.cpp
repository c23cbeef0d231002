#include <QApplication>
#include <QLabel>

#include "app/tool/modes.hpp"
#include "app/tool/startup.hpp"

namespace tool {

int runMainWindow(const CommandLineRequest&) {
  deleteLeftoverExecutable(QCoreApplication::applicationDirPath().toStdString());
  QLabel window("The main window is not built yet (issue 7).");
  window.setWindowTitle("QUBRIX Tool");
  window.setMargin(24);
  window.show();
  return QApplication::exec();
}

}  // namespace tool
