#include <QApplication>
#include <QLabel>

#include "app/tool/modes.hpp"

namespace tool {

int runLoadDialog(const CommandLineRequest&) {
  QLabel window("The command-line programming dialog is not built yet (issue 4).");
  window.setWindowTitle("QUBRIX Tool");
  window.setMargin(24);
  window.show();
  return QApplication::exec();
}

}  // namespace tool
