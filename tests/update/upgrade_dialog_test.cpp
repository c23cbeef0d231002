// The update window over the emulated programmer and a loopback FTP server: a check fills the
// fields and offers the update, the update runs on its worker, and the window refuses to close
// while it runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "device/enumerate.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "emulator/programmer/programmer_flash.hpp"
#include "tests/support/temp_home.hpp"
#include "tests/update/ftp_fixture.hpp"
#include "ui/update/upgrade_dialog.hpp"

namespace {

namespace ep = emulator::programmer;

QStringList labelTexts(const QWidget& w) {
  QStringList texts;
  for (const QLabel* l : w.findChildren<QLabel*>()) texts << l->text();
  return texts;
}

QPushButton* button(const QWidget& w, const char* textName) {
  for (QPushButton* b : w.findChildren<QPushButton*>()) {
    if (b->text() == QString::fromStdString(base::text(textName))) return b;
  }
  return nullptr;
}

TEST(UpgradeDialogTest, ACheckOffersTheUpdateWhichRunsAndCannotBeInterruptedByClosing) {
  testsupport::TempHome home;
  appsettings::storeLanguage(base::kLangEnglish);
  base::setThreadLanguage(base::kLangEnglish);
  auto device = ep::EmulatedProgrammer::create();
  qx::setHardwareEnumeration(false);
  const int provider = qx::addDeviceProvider([&] {
    std::vector<std::shared_ptr<qx::Interface>> found;
    if (auto link = device->attach()) found.push_back(std::move(link));
    return found;
  });
  updatetest::FtpServer server(home.path() / "served");
  ASSERT_NE(server.port(), 0);
  server.nameInConfiguration();
  const auto image = ep::firmwareImage("1.0.3.0");
  server.publish("QUBRIXToolTFT/v2/fw.bin", image);
  server.publish("QUBRIXToolTFT/v2/fw.xml",
                 updatetest::manifestText("1.0.3.0", "/QUBRIXToolTFT/v2/fw.bin", updatetest::md5Hex(image)));

  CQubrixToolUpgradeDialog dialog;
  dialog.setWorkDirectory(home.path());
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "QUBRIX Tool Update");
  QPushButton* update = button(dialog, "update.update");
  ASSERT_NE(update, nullptr);
  EXPECT_FALSE(update->isEnabled());
  dialog.check();
  EXPECT_TRUE(labelTexts(dialog).contains("v1.0.2.8"));
  EXPECT_TRUE(labelTexts(dialog).contains("v1.0.3.0"));
  EXPECT_TRUE(labelTexts(dialog).contains("SN: 1A2B3C4D"));
  EXPECT_TRUE(update->isEnabled());

  bool closedWhileBusy = true;
  bool sawBusyBox = false;
  QObject::connect(&dialog, &CQubrixToolUpgradeDialog::updateStarted, &dialog, [&] {
    QTimer::singleShot(0, &dialog, [&] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        sawBusyBox = box->text() == QString::fromStdString(base::text("update.busy"));
        box->accept();
      }
    });
    closedWhileBusy = dialog.close();
  });
  QSignalSpy finished(&dialog, &CQubrixToolUpgradeDialog::updateFinished);
  update->click();
  ASSERT_TRUE(finished.wait(60000));
  EXPECT_FALSE(closedWhileBusy);
  EXPECT_TRUE(sawBusyBox);
  EXPECT_TRUE(labelTexts(dialog).contains("Update successful."));
  EXPECT_EQ(dialog.findChild<QProgressBar*>()->value(), 100);
  EXPECT_FALSE(update->isEnabled());
  EXPECT_TRUE(button(dialog, "update.check")->isEnabled());
  EXPECT_FALSE(dialog.busy());
  std::string version;
  device->inspect([&](ep::ProgrammerModel& m) { version = m.applicationVersion(); });
  EXPECT_EQ(version, "1.0.3.0");
  EXPECT_TRUE(dialog.close());
  qx::removeDeviceProvider(provider);
}

}  // namespace
