// Saves a picture of Touch debug mode over a COM port: the emulated touch debugging board on a
// pseudo-terminal, chosen in the port box, with live values and a key triggered:
// qx_touch_serial_shots OUTDIR PREFIX LANGID [CHANNELS]. scripts/screenshots.sh runs it under Xvfb.
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>

#include <cstdio>
#include <cstdlib>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/touch_board.hpp"
#include "touch/serial_transport.hpp"
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

  namespace es = emulator::serial;
  es::PtyHost board(std::make_unique<es::TouchBoard>(es::TouchBoardConfig{.channels = argc > 4 ? std::atoi(argv[4]) : 12}));
  if (!board.start()) {
    std::fprintf(stderr, "no pseudo-terminal for the touch board\n");
    return 1;
  }
  CQX58KT_UPGRADEDlg window;
  window.show();
  window.SwitchMode(2);
  auto* port = window.findChild<QComboBox*>(QStringLiteral("touchPort"));
  port->insertItem(0, QString::fromStdString(board.path()));
  port->setCurrentIndex(0);
  window.findChild<QPushButton*>(QStringLiteral("touchConnect"))->click();

  const auto* link = dynamic_cast<const touch::SerialTransport*>(window.touchPanel()->Session().serialTransport());
  const bool pressed = link != nullptr && touchshots::waitForAPlottedPress(window.touchPanel()->History(), [link] {
    return link->chipConnected() && link->model().keyFlags != 0;
  });
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const QString name = QStringLiteral("%1-touch-serial.png").arg(QString::fromLocal8Bit(argv[2]));
  const bool saved = pressed && window.grab().save(out.filePath(name));
  window.SwitchMode(0);
  if (!saved) {
    std::fprintf(stderr, "no picture of a triggered key in %s\n", qPrintable(out.filePath(name)));
    return 1;
  }
  return 0;
}
