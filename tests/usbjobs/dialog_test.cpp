// The load dialog through the emulated programmer: opening on the command line's model, the
// button's run and its log, and the unknown-model line.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <fstream>

#include "base/texts.hpp"
#include "tests/usbjobs/rig.hpp"
#include "ui/load/program_device_dialog.hpp"

namespace usbjobstest {
namespace {

void runToEnd(ProgramDeviceDialog& dialog) {
  while (dialog.running()) QCoreApplication::processEvents(QEventLoop::AllEvents);
  QCoreApplication::processEvents();
}

TEST(LoadDialog, TheButtonProgramsTheFileIntoTheChosenModel) {
  base::setThreadLanguage(base::kLangEnglish);
  Rig rig;
  const auto path = rig.home.path() / "f.bin";
  std::ofstream(path, std::ios::binary) << std::string(1000, '\x5A');
  const auto logPath = rig.home.path() / "load.log";
  usbjobs::LogFile log(logPath);
  ProgramDeviceDialog dialog("QB52K16", path.string(), &log);
  EXPECT_EQ(dialog.modelList()->currentText(), "QB52K16");
  EXPECT_TRUE(dialog.logView()->toPlainText().isEmpty());

  dialog.programButton()->click();
  EXPECT_FALSE(dialog.programButton()->isEnabled());
  runToEnd(dialog);
  EXPECT_TRUE(dialog.programButton()->isEnabled());
  const QString text = dialog.logView()->toPlainText();
  EXPECT_TRUE(text.endsWith("--> Programming...\ndone.\n")) << text.toStdString();
  EXPECT_EQ(dialog.progressBar()->value(), 100);
  EXPECT_EQ(rig.targetFlash(0, 1000), std::vector<std::uint8_t>(1000, 0x5A));
  std::ifstream in(logPath);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(all.find(" done.\n"), std::string::npos) << all;
}

TEST(LoadDialog, AnUnknownModelIsLoggedAndNothingIsProgrammedUntilAModelIsPicked) {
  base::setThreadLanguage(base::kLangEnglish);
  Rig rig;
  const auto path = rig.home.path() / "f.bin";
  std::ofstream(path, std::ios::binary) << std::string(100, '\x11');
  ProgramDeviceDialog dialog("QB99", path.string(), nullptr);
  EXPECT_TRUE(dialog.logView()->toPlainText().startsWith("无效的芯片型号[QB99]"));
  EXPECT_EQ(dialog.seriesList()->currentIndex(), 0);
  EXPECT_FALSE(dialog.programButton()->isEnabled());
  dialog.programDevice();
  EXPECT_FALSE(dialog.running());
  EXPECT_TRUE(rig.requests(kConnect).empty());

  dialog.modelList()->setCurrentIndex(1);
  emit dialog.modelList()->activated(1);
  const QString chosen = dialog.modelList()->currentText();
  ASSERT_TRUE(dialog.programButton()->isEnabled());
  dialog.programButton()->click();
  runToEnd(dialog);
  EXPECT_TRUE(dialog.logView()->toPlainText().contains(chosen + "\n")) << dialog.logView()->toPlainText().toStdString();
  EXPECT_EQ(rig.requests(kConnect).size(), 1u);
}

}  // namespace
}  // namespace usbjobstest
