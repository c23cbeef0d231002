// Pictures of Writer mode with the emulated Writer: qx_writer_shots OUTDIR PREFIX LANGID FILE.
// Downloads FILE with a limit of 100, saves PREFIX-writer-done.png once the download has ended and
// PREFIX-writer-offline.png while the Writer reports its offline programming.
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QTextEdit>
#include <QThread>

#include <cstdio>
#include <cstdlib>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "emulator/writer/bench.hpp"
#include "ui/main/main_window.hpp"
#include "ui/writer/device_program_dlg.hpp"
#include "ui/writer/writer_lookup.hpp"

namespace {

// Runs the event loop until `done` or `seconds` have passed.
template <typename Done>
bool runUntil(Done done, int seconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > seconds * 1000) return false;
    QApplication::processEvents();
    QThread::msleep(10);
  }
  return true;
}

// The log pane is the window's one text view besides the serial assistant's receive view.
bool logHas(const QWidget& window, const std::string& text) {
  for (const auto* edit : window.findChildren<QTextEdit*>()) {
    if (edit->objectName() != QStringLiteral("receiveView") && edit->toPlainText().contains(QString::fromStdString(text))) {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s OUTDIR PREFIX LANGID FILE\n", argv[0]);
    return 2;
  }
  const int lang = std::atoi(argv[3]);
  appsettings::storeLanguage(lang);
  base::setThreadLanguage(lang);
  setenv("QUBRIX_EMULATE", "1", 1);
  emulator::writer::attachWriterBenchFromEnvironment();
  QApplication app(argc, argv);
  CQX58KT_UPGRADEDlg::Services services;
  services.lookups.writer = writerpanel::FirstAttachedWriter;
  CQX58KT_UPGRADEDlg window(std::move(services));
  window.show();
  window.SwitchMode(1);
  window.OpenProgramFile(argv[4], false);
  CDeviceProgramDlg* panel = window.writerPanel();
  auto* limit = panel->findChild<QCheckBox*>(QStringLiteral("writer.max_times"));
  auto* limitEdit = panel->findChild<QLineEdit*>(QStringLiteral("writer.max_times.edit"));
  limit->setChecked(true);
  limitEdit->setText(QStringLiteral("100"));
  emit limitEdit->textEdited(limitEdit->text());
  panel->Download();

  const QDir out(QString::fromLocal8Bit(argv[1]));
  const auto save = [&](const char* what) {
    const QString name = QStringLiteral("%1-writer-%2.png").arg(QString::fromLocal8Bit(argv[2]), QString::fromLatin1(what));
    if (!window.grab().save(out.filePath(name))) {
      std::fprintf(stderr, "cannot write %s\n", qPrintable(out.filePath(name)));
      return false;
    }
    std::printf("%s\n", qPrintable(out.filePath(name)));
    return true;
  };
  const std::string programmed = "--> " + base::text("writer.programmed");
  if (!runUntil([&] { return logHas(window, programmed); }, 30)) {
    std::fprintf(stderr, "the download did not end\n");
    return 1;
  }
  if (!save("done")) return 1;
  // Into the offline round: both chips written (or failed), the oscillator being checked.
  if (!runUntil([&] { return logHas(window, "芯片1：校验内部晶振"); }, 30)) {
    std::fprintf(stderr, "no offline status\n");
    return 1;
  }
  return save("offline") ? 0 : 1;
}
