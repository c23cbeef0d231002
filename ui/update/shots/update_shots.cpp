// Pictures of the update window before and after a USB update: qx_update_shots OUTDIR PREFIX LANGID.
// Run with QUBRIX_EMULATE=1 and an update server named in QUBRIX_TOOL_CONFIG.ini that publishes a
// newer firmware (scripts/update_screenshots.sh sets both up).
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "emulator/programmer/bench.hpp"
#include "ui/update/upgrade_dialog.hpp"

namespace {

void settle() {
  for (int i = 0; i < 10; ++i) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
}

bool save(QWidget& w, const QDir& out, const QString& name) {
  if (w.grab().save(out.filePath(name))) return true;
  std::fprintf(stderr, "cannot write %s\n", qPrintable(out.filePath(name)));
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: %s OUTDIR PREFIX LANGID\n", argv[0]);
    return 2;
  }
  const int lang = std::atoi(argv[3]);
  appsettings::storeLanguage(lang);
  base::setThreadLanguage(lang);
  emulator::programmer::attachBenchFromEnvironment();
  QApplication app(argc, argv);
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const QString prefix = QString::fromLocal8Bit(argv[2]);

  CQubrixToolUpgradeDialog dialog;
  dialog.setWorkDirectory(QDir::tempPath().toStdString());
  dialog.show();
  settle();
  dialog.check();
  settle();
  if (!save(dialog, out, prefix + QStringLiteral("-update-before.png"))) return 1;

  QEventLoop loop;
  QObject::connect(&dialog, &CQubrixToolUpgradeDialog::updateFinished, &loop, &QEventLoop::quit);
  QTimer::singleShot(60000, &loop, &QEventLoop::quit);
  dialog.startUpdate();
  loop.exec();
  settle();
  return save(dialog, out, prefix + QStringLiteral("-update-after.png")) ? 0 : 1;
}
