// Saves a picture of the main window in each mode: qx_window_shots OUTDIR PREFIX LANGID [FILE].
// scripts/screenshots.sh runs it under Xvfb for each language and scale.
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QPixmap>
#include <QThread>

#include <cstdio>
#include <cstdlib>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "ui/main/main_window.hpp"

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s OUTDIR PREFIX LANGID [FILE]\n", argv[0]);
    return 2;
  }
  const int lang = std::atoi(argv[3]);
  appsettings::storeLanguage(lang);
  base::setThreadLanguage(lang);
  QApplication app(argc, argv);
  CQX58KT_UPGRADEDlg window;
  if (argc > 4) window.OpenProgramFile(argv[4], false);
  window.show();
  const QDir out(QString::fromLocal8Bit(argv[1]));
  for (int mode = 0; mode < 4; ++mode) {
    window.SwitchMode(mode);
    for (int i = 0; i < 10; ++i) {
      QApplication::processEvents();
      QThread::msleep(20);
    }
    const QString name = QStringLiteral("%1-mode%2.png").arg(QString::fromLocal8Bit(argv[2])).arg(mode);
    if (!window.grab().save(out.filePath(name))) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(out.filePath(name)));
      return 1;
    }
  }
  return 0;
}
