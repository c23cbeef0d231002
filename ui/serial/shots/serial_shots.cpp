// Saves a picture of the main window in the serial assistant's mode while it receives from the
// emulated echo device in hex and packet display: qx_serial_shots OUTFILE LANGID.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QThread>

#include <cstdio>
#include <cstdlib>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/terminal_devices.hpp"
#include "ui/main/main_window.hpp"
#include "ui/serial/serial_views.hpp"
#include "ui/serial/uart_test_dlg.hpp"

namespace {

void runFor(int ms) {
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < ms) {
    QApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(5);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: %s OUTFILE LANGID\n", argv[0]);
    return 2;
  }
  const int lang = std::atoi(argv[2]);
  appsettings::storeLanguage(lang);
  base::setThreadLanguage(lang);
  QApplication app(argc, argv);
  emulator::serial::PtyHost echo(std::make_unique<emulator::serial::EchoDevice>());
  if (!echo.start()) return 1;

  CQX58KT_UPGRADEDlg window;
  window.show();
  window.SwitchMode(3);
  window.resize(window.size().grownBy(QMargins(0, 0, 120, 60)));
  auto* panel = window.findChild<UartTestDlg*>(QStringLiteral("serialPanel"));
  auto* views = window.findChild<CSerialViews*>(QStringLiteral("serialArea"));
  panel->selectPort(echo.path());
  panel->selectBaud(115200);
  for (const char* name : {"hexDisplayCheck", "packetCheck", "hexSendCheck"}) {
    window.findChild<QCheckBox*>(QString::fromLatin1(name))->setChecked(true);
  }
  views->sendLine()->setPlainText(QStringLiteral("55 AA 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E"));
  window.findChild<QCheckBox*>(QStringLiteral("timedCheck"))->setChecked(true);
  runFor(1500);
  window.findChild<QCheckBox*>(QStringLiteral("timedCheck"))->setChecked(false);
  runFor(200);
  if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
    std::fprintf(stderr, "cannot write %s\n", argv[1]);
    return 1;
  }
  return 0;
}
