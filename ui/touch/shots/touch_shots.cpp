// Saves a picture of Touch debug mode with live values from an emulated touch target and their
// plot, taken once a key is triggered: qx_touch_shots OUTDIR PREFIX LANGID [CHANNELS].
// scripts/screenshots.sh runs it under Xvfb for each language and scale.
#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QThread>

#include <cstdio>
#include <cstdlib>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "device/touch_debug.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "ui/main/main_window.hpp"
#include "ui/touch/shots/touch_shot_wait.hpp"
#include "ui/touch/touch_mode_dlg.hpp"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s OUTDIR PREFIX LANGID [CHANNELS]\n", argv[0]);
    return 2;
  }
  const int lang = std::atoi(argv[3]);
  appsettings::storeLanguage(lang);
  base::setThreadLanguage(lang);
  QApplication app(argc, argv);

  emulator::programmer::Config board;
  board.touchChannels = argc > 4 ? std::atoi(argv[4]) : 12;
  const auto device = emulator::programmer::EmulatedProgrammer::create(board);
  const auto link = device->attach();
  CQX58KT_UPGRADEDlg::Services services;
  services.touchTool = [link] { return std::make_shared<qx::TouchDebug>(link); };
  CQX58KT_UPGRADEDlg window(std::move(services));
  window.show();
  window.SwitchMode(2);
  window.findChild<QPushButton*>(QStringLiteral("touchConnect"))->click();

  const touch::UsbTransport& usb = window.touchPanel()->Session().usb();
  const bool pressed = touchshots::waitForAPlottedPress(window.touchPanel()->History(),
                                                        [&usb] { return usb.ready() && usb.model().keyFlags != 0; });
  window.findChild<QPushButton*>(QStringLiteral("touchStop"))->click();
  for (int i = 0; i < 10; ++i) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const QString name = QStringLiteral("%1-touch.png").arg(QString::fromLocal8Bit(argv[2]));
  if (!pressed || !window.grab().save(out.filePath(name))) {
    std::fprintf(stderr, "no picture of a triggered key in %s\n", qPrintable(out.filePath(name)));
    return 1;
  }
  return 0;
}
