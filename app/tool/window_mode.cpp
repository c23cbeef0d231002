#include <QApplication>

#include "app/tool/modes.hpp"
#include "app/tool/startup.hpp"
#include "device/tool.hpp"
#include "emulator/programmer/bench.hpp"
#include "emulator/writer/bench.hpp"
#include "ui/main/main_window.hpp"
#include "ui/writer/writer_lookup.hpp"

namespace tool {
namespace {

// The window's view of the bus: every QUBRIX Tool found, by product and serial number.
std::vector<mainwin::AttachedProgrammer> attachedProgrammers() {
  std::vector<mainwin::AttachedProgrammer> found;
  for (const auto& programmer : qx::enumerateTools()) {
    found.push_back({qx::toolProduct(programmer), qx::toolSerialNumber(programmer)});
  }
  return found;
}

}  // namespace

int runMainWindow(const CommandLineRequest& request) {
  deleteLeftoverExecutable(QCoreApplication::applicationDirPath().toStdString());
  emulator::programmer::attachBenchFromEnvironment();
  emulator::writer::attachWriterBenchFromEnvironment();
  CQX58KT_UPGRADEDlg::Services services;
  services.lookups.programmers = attachedProgrammers;
  services.lookups.writer = writerpanel::FirstAttachedWriter;
  CQX58KT_UPGRADEDlg window(std::move(services));
  window.show();
  // A file manager opens a program file with "qubrix-tool open FILE" (the desktop entry's Exec line).
  if (!request.file.empty()) window.OpenProgramFile(request.file, false);
  return QApplication::exec();
}

}  // namespace tool
