// The Writer panel in the main window, offscreen, with an emulated Writer joined to the lookup:
// a download from the window, the refusals in order, the option edits and the file's settings.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <fstream>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "device/enumerate.hpp"
#include "device/writer/link.hpp"
#include "emulator/writer/emulated_writer.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/production/header.hpp"
#include "firmware/production/writer.hpp"
#include "tests/support/temp_home.hpp"
#include "ui/main/main_window.hpp"
#include "ui/main/tool_settings.hpp"
#include "ui/writer/device_program_dlg.hpp"
#include "ui/writer/writer_lookup.hpp"

namespace {

testsupport::TempHome& home() {
  static testsupport::TempHome h;
  return h;
}

class WriterPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    home();
    appsettings::storeLanguage(base::kLangEnglish);
    base::setThreadLanguage(base::kLangEnglish);
    std::filesystem::remove(mainwin::toolSettingsPath());
    qx::setHardwareEnumeration(false);
    dir = testsupport::makeTempDir("qubrix-writer-panel-");
    services.message = [this](const std::string& text, const std::string& caption, base::MessageIcon) {
      messages.push_back(caption + ": " + text);
    };
    services.lookups.writer = writerpanel::FirstAttachedWriter;
  }
  void TearDown() override {
    window.reset();
    if (provider != 0) qx::writer::removeWriterProvider(provider);
    std::filesystem::remove_all(dir);
  }
  void plugIn(emulator::writer::WriterConfig config = {}) {
    writer = emulator::writer::EmulatedWriter::create(config);
    provider = qx::writer::addWriterProvider([w = writer] {
      std::vector<std::shared_ptr<qx::writer::WriterLink>> found;
      if (auto link = w->attach()) found.push_back(link);
      return found;
    });
  }
  CDeviceProgramDlg& openInWriterMode() {
    window = std::make_unique<CQX58KT_UPGRADEDlg>(services);
    window->show();
    window->SwitchMode(1);
    return *window->writerPanel();
  }
  template <typename T>
  T* child(const QString& name) const {
    return window->findChild<T*>(name);
  }
  QCheckBox* box(const char* name) const { return child<QCheckBox>(QString::fromLatin1(name)); }
  QLineEdit* edit(const char* name) const { return child<QLineEdit>(QString::fromLatin1(name) + ".edit"); }
  void type(const char* name, const QString& text) {
    QLineEdit* e = edit(name);
    e->setFocus();
    e->selectAll();
    QTest::keyClicks(e, text);
  }
  QString log() const {
    for (const auto* e : window->findChildren<QTextEdit*>()) {
      if (e->objectName() == QStringLiteral("log")) return e->toPlainText();
    }
    return {};
  }
  bool waitForLog(const std::string& text) {
    QElapsedTimer timer;
    timer.start();
    while (!log().contains(QString::fromStdString(text))) {
      if (timer.elapsed() > 20000) return false;
      QApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    return true;
  }
  std::filesystem::path blink() const {
    const auto target = dir / "blink.hex";
    std::filesystem::copy_file(std::filesystem::path(QUBRIX_SOURCE_DIR) / "examples" / "blink.hex", target,
                               std::filesystem::copy_options::overwrite_existing);
    return target;
  }

  CQX58KT_UPGRADEDlg::Services services;
  std::unique_ptr<CQX58KT_UPGRADEDlg> window;
  std::shared_ptr<emulator::writer::EmulatedWriter> writer;
  int provider = 0;
  std::vector<std::string> messages;
  std::filesystem::path dir;
};

TEST_F(WriterPanel, DownloadsFromTheWindowAndEnablesDownloadAgain) {
  // No offline round: it would clear the log at once.
  emulator::writer::WriterConfig config;
  config.rounds = 0;
  plugIn(config);
  CDeviceProgramDlg& panel = openInWriterMode();
  ASSERT_TRUE(window->OpenProgramFile(blink().string(), false));
  box("writer.max_times")->click();
  type("writer.max_times", "100");
  panel.Download();
  EXPECT_FALSE(panel.downloadEnabled() && panel.cancelEnabled());
  ASSERT_TRUE(waitForLog("--> " + base::text("writer.programmed"))) << log().toStdString();
  QApplication::processEvents();
  EXPECT_TRUE(panel.downloadEnabled());
  EXPECT_FALSE(panel.cancelEnabled());
  auto* progress = child<QProgressBar>(QStringLiteral("progress"));
  EXPECT_EQ(progress->value(), progress->maximum());
  EXPECT_GT(progress->maximum(), 100);
  EXPECT_TRUE(messages.empty());
  // The chip information carried the limit, the file name report the opened file's name.
  const auto exchanges = writer->exchanges();
  ASSERT_GT(exchanges.size(), 4u);
  EXPECT_EQ(exchanges[2].plain[1], 0xBB);
  EXPECT_EQ(exchanges[2].plain[20], 1);
  EXPECT_EQ(exchanges[2].plain[24], 100);
  EXPECT_EQ(std::string(exchanges[exchanges.size() - 2].plain.begin() + 3,
                        exchanges[exchanges.size() - 2].plain.begin() + 8), "blink");
}

TEST_F(WriterPanel, CancelEnablesDownloadAgainWithoutTellingTheWriter) {
  emulator::writer::WriterConfig config;
  config.silentAt = emulator::writer::Step::Length;
  plugIn(config);
  CDeviceProgramDlg& panel = openInWriterMode();
  ASSERT_TRUE(window->OpenProgramFile(blink().string(), false));
  panel.Download();
  ASSERT_TRUE(waitForLog("--> " + base::text("writer.set_length")));
  EXPECT_FALSE(panel.downloadEnabled());
  EXPECT_TRUE(panel.cancelEnabled());
  const std::size_t sent = writer->exchanges().size();
  child<QPushButton>(QStringLiteral("writerCancel"))->click();
  QElapsedTimer timer;
  timer.start();
  while (!panel.downloadEnabled() && timer.elapsed() < 20000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_TRUE(panel.downloadEnabled());
  EXPECT_FALSE(panel.cancelEnabled());
  EXPECT_EQ(writer->exchanges().size(), sent);
  EXPECT_FALSE(log().contains(QString::fromStdString(base::text("writer.programmed"))));
}

TEST_F(WriterPanel, OfflineStatusReachesTheLogAfterADownload) {
  plugIn();
  CDeviceProgramDlg& panel = openInWriterMode();
  ASSERT_TRUE(window->OpenProgramFile(blink().string(), false));
  panel.Download();
  ASSERT_TRUE(waitForLog("--> 芯片2：烧录完成"));
  EXPECT_TRUE(log().startsWith("--> 芯片1：开始同步")) << "the round starts a fresh log";
}

TEST_F(WriterPanel, RefusalsComeInOrderAndLeaveDownloadEnabled) {
  CDeviceProgramDlg& panel = openInWriterMode();
  panel.Download();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages.back(), "Tip: Please select a file first.");

  ASSERT_TRUE(window->OpenProgramFile(blink().string(), false));
  box("writer.key")->click();
  type("writer.key", "0123456789abcde");
  box("writer.max_times")->click();
  panel.Download();
  EXPECT_EQ(messages.back(), "Tip: Please enter a 16-character key.");
  type("writer.key", "0123456789abcdef");
  panel.Download();
  EXPECT_EQ(messages.back(), "Tip: Please set the maximum number of programming attempts.");
  type("writer.max_times", "3");
  box("writer.user_code")->click();
  panel.Download();
  EXPECT_EQ(messages.back(), "Tip: Please set the user roll code starting address, ranging from 1 to 999999999.");
  type("writer.user_code", "12");
  box("writer.writer_id")->click();
  type("writer.writer_id", "1234567");
  panel.Download();
  EXPECT_EQ(messages.back(), "Tip: Please set the 32-bit Writer ID.");
  type("writer.writer_id", "12345678");
  panel.Download();
  EXPECT_EQ(messages.back(), "Tip: Please connect the Writer!");
  EXPECT_TRUE(panel.downloadEnabled());
  EXPECT_EQ(window->productionSettings().write_id_num, 0x12345678u);
}

TEST_F(WriterPanel, UserCodeAboveTheRangeIsRefusedAndThePreviousValueShown) {
  openInWriterMode();
  box("writer.user_code")->click();
  type("writer.user_code", "4293967295");
  EXPECT_EQ(window->productionSettings().user_code, 4293967295u);
  // The digit after the largest value is refused; the value before it stays.
  type("writer.user_code", "42939672950");
  ASSERT_FALSE(messages.empty());
  EXPECT_EQ(messages.back(), "Error: Out of range, value range [0~4293967295].");
  EXPECT_EQ(edit("writer.user_code")->text(), "4293967295");
  EXPECT_EQ(edit("writer.user_code")->cursorPosition(), 10);
  EXPECT_EQ(window->productionSettings().user_code, 4293967295u);
}

TEST_F(WriterPanel, ProductionFilesSetTheOptions) {
  openInWriterMode();
  ASSERT_TRUE(window->OpenProgramFile(blink().string(), false));
  EXPECT_TRUE(child<QPushButton>(QStringLiteral("writerGenerate"))->isEnabled());

  const firmware::McuPtr model = window->currentMcu();
  production::ProductionSettings made;
  made.write_limit_num_enable = true;
  made.write_num_max = 7;
  made.writer_ID_limit_enable = true;
  made.write_id_num = 0xAB;
  made.user_code_enable = true;
  made.user_code = 3000000000u;
  made.key_enable = true;
  made.key_count = 16;
  made.key.fill('k');
  firmware::ProgramImage source;
  source.data.assign(100, 0x5A);
  for (auto kind : {production::FileKind::ProductionProject, production::FileKind::EncryptedProgram}) {
    const auto header = production::makeHeader(kind, made, *model, firmware::TypeIndex(*model), 0, 100,
                                               production::Rand15(3));
    const auto bytes = production::ProductionFileBytes(kind, header, source);
    const auto path = dir / (kind == production::FileKind::ProductionProject ? "made.cap" : "made.cab");
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    ASSERT_TRUE(window->OpenProgramFile(path.string(), false)) << log().toStdString();
    EXPECT_FALSE(child<QPushButton>(QStringLiteral("writerGenerate"))->isEnabled());
    if (kind == production::FileKind::ProductionProject) {
      EXPECT_TRUE(box("writer.max_times")->isChecked());
      EXPECT_EQ(edit("writer.max_times")->text(), "7");
      EXPECT_EQ(edit("writer.user_code")->text(), "3000000000");
      EXPECT_EQ(edit("writer.writer_id")->text(), "000000AB");
      EXPECT_TRUE(edit("writer.writer_id")->isEnabled());
    } else {
      for (const char* name : {"writer.max_times", "writer.user_code", "writer.writer_id", "writer.key"}) {
        EXPECT_FALSE(box(name)->isChecked()) << name;
        EXPECT_FALSE(box(name)->isEnabled()) << name;
        EXPECT_FALSE(edit(name)->isEnabled()) << name;
      }
      // Entering Writer mode again keeps an encrypted program file's settings locked and in force.
      window->SwitchMode(0);
      window->SwitchMode(1);
      EXPECT_FALSE(box("writer.max_times")->isEnabled());
      EXPECT_TRUE(window->productionSettings().write_limit_num_enable);
    }
  }
  // Any other file clears them and frees the boxes.
  ASSERT_TRUE(window->OpenProgramFile(blink().string(), false));
  window->SwitchMode(1);
  EXPECT_TRUE(box("writer.max_times")->isEnabled());
  EXPECT_FALSE(window->productionSettings().write_limit_num_enable);
  EXPECT_TRUE(child<QPushButton>(QStringLiteral("writerGenerate"))->isEnabled());
}

}  // namespace
