// Saves pictures of the ISP panel after a USB run through the emulated programmer and after a
// serial run through an emulated bootloader on a pseudo-terminal:
//   QUBRIX_EMULATE=1 qx_isp_panel_shots OUTDIR PREFIX LANGID FILE
// scripts/screenshots.sh runs it under Xvfb for each language and scale.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QPixmap>

#include <cstdio>
#include <cstdlib>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "device/tool.hpp"
#include "emulator/programmer/bench.hpp"
#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/port_registry.hpp"
#include "emulator/serial/pty_host.hpp"
#include "firmware/catalogue.hpp"
#include "ui/main/isp_panel.hpp"
#include "ui/main/main_window.hpp"
#include "ui/main/uart_com_set_dlg.hpp"

namespace {

bool runAndWait(CUpdataModeDlg& panel, const char* button) {
  bool ended = false;
  const auto c = QObject::connect(&panel, &CUpdataModeDlg::runEnded, [&ended] { ended = true; });
  panel.findChild<QAbstractButton*>(QString::fromLatin1(button))->click();
  QElapsedTimer t;
  t.start();
  while (!ended && t.elapsed() < 60000) QApplication::processEvents(QEventLoop::AllEvents, 50);
  QObject::disconnect(c);
  return ended;
}

bool save(CQX58KT_UPGRADEDlg& window, const QDir& out, const QString& name) {
  for (int i = 0; i < 10; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
  if (window.grab().save(out.filePath(name))) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(out.filePath(name)));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: QUBRIX_EMULATE=1 %s OUTDIR PREFIX LANGID FILE\n", argv[0]);
    return 2;
  }
  const int lang = std::atoi(argv[3]);
  appsettings::storeLanguage(lang);
  base::setThreadLanguage(lang);
  QApplication app(argc, argv);
  emulator::programmer::attachBenchFromEnvironment();

  emulator::serial::ChipConfig chip;
  chip.familyType = 0x100;
  chip.modelId = 0x5305;  // QB54T16
  emulator::serial::PtyHost host(std::make_unique<emulator::serial::ChipBootloader>(chip));
  if (!host.start()) return 1;
  emulator::serial::announcePorts({{host.path(), "pts", host.productName(), 0, 0, true}});

  CQX58KT_UPGRADEDlg::Services services;
  services.lookups.programmers = [] {
    std::vector<mainwin::AttachedProgrammer> found;
    for (const auto& tool : qx::enumerateTools()) found.push_back({qx::toolProduct(tool), qx::toolSerialNumber(tool)});
    return found;
  };
  CQX58KT_UPGRADEDlg window(std::move(services));
  const firmware::McuList& list = firmware::Catalogue();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i]->name == "QB54T16") window.SelectModelCommand(CQX58KT_UPGRADEDlg::kModelCommandBase + static_cast<int>(i));
  }
  window.OpenProgramFile(argv[4], false);
  window.show();
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const QString prefix = QString::fromLocal8Bit(argv[2]);
  CUpdataModeDlg& panel = *window.ispPanel();

  panel.rebuildPortList();
  panel.selectPortEntry("USB");
  if (!runAndWait(panel, "programButton") || !save(window, out, prefix + "-isp-usb.png")) return 1;
  panel.selectPortEntry(host.path());
  if (!runAndWait(panel, "programButton") || !save(window, out, prefix + "-isp-serial.png")) return 1;
  UartComSetDlg settings(window, &window);
  settings.show();
  for (int i = 0; i < 10; ++i) QApplication::processEvents(QEventLoop::AllEvents, 20);
  if (!settings.grab().save(out.filePath(prefix + "-uartset.png"))) return 1;
  emulator::serial::withdrawPorts({host.path()});
  return 0;
}
