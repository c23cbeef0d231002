// Pictures of the program's own update in the main window: the question, and the progress bar
// half way through the download: qx_self_update_shots OUTDIR PREFIX LANGID. The update server
// (named in QUBRIX_TOOL_CONFIG.ini) must publish a newer program whose digest does not match, so
// that the run ends in "Download failed." and this program is never replaced.
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QProgressBar>
#include <QThread>
#include <QTimer>
#include <cstdio>
#include <cstdlib>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "ui/main/main_window.hpp"

namespace {

void settle() {
  for (int i = 0; i < 10; ++i) {
    QApplication::processEvents();
    QThread::msleep(20);
  }
}

// Takes a picture of the modal box that is up, then presses its default answer (`yes` for Yes).
void answerBox(const QDir& out, const QString& name, bool yes) {
  QTimer::singleShot(300, [out, name, yes] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box == nullptr) return;
    box->grab().save(out.filePath(name));
    if (yes && box->button(QMessageBox::Yes) != nullptr) {
      box->button(QMessageBox::Yes)->click();
    } else {
      box->accept();
    }
  });
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
  QApplication app(argc, argv);
  const QDir out(QString::fromLocal8Bit(argv[1]));
  const QString prefix = QString::fromLocal8Bit(argv[2]);
  CQX58KT_UPGRADEDlg window;
  window.show();
  settle();
  auto* progress = window.findChild<QProgressBar*>();
  bool taken = false;
  QObject::connect(progress, &QProgressBar::valueChanged, &window, [&](int value) {
    if (taken || value < 40) return;
    taken = true;
    window.grab().save(out.filePath(prefix + QStringLiteral("-self-update-progress.png")));
  });
  answerBox(out, prefix + QStringLiteral("-self-update-question.png"), true);
  QObject::connect(progress, &QProgressBar::valueChanged, &window, [&](int value) {
    if (value == 100) answerBox(out, prefix + QStringLiteral("-self-update-failed.png"), false);
  });
  window.CheckForUpdate();
  return taken ? 0 : 1;
}
