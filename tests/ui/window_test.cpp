// The main window offscreen: start, mode switch, drop and load, saving, models, language, devices.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QUrl>

#include <gtest/gtest.h>

#include <fstream>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/production/header.hpp"
#include "firmware/production/writer.hpp"
#include "tests/support/read_file.hpp"
#include "tests/support/temp_home.hpp"
#include "ui/main/image_save.hpp"
#include "ui/main/log_pane.hpp"
#include "ui/main/main_window.hpp"
#include "ui/main/tool_settings.hpp"
#include "widgets/hexeditbase.hpp"

namespace {

// One scratch home serves every test here: the settings files of the window live under it.
testsupport::TempHome& home() {
  static testsupport::TempHome h;
  return h;
}

struct Message {
  std::string text;
  std::string caption;
};

class MainWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    home();
    appsettings::storeLanguage(base::kLangEnglish);
    base::setThreadLanguage(base::kLangEnglish);
    std::filesystem::remove(mainwin::toolSettingsPath());
    dir = testsupport::makeTempDir("qubrix-window-");
    services.message = [this](const std::string& text, const std::string& caption, base::MessageIcon) {
      messages.push_back({text, caption});
    };
    services.restart = [this] { ++restarts; };
  }
  void TearDown() override { std::filesystem::remove_all(dir); }

  CQX58KT_UPGRADEDlg& open() {
    window = std::make_unique<CQX58KT_UPGRADEDlg>(services);
    window->show();
    return *window;
  }
  template <typename T>
  T* child(const char* name) const {
    return window->findChild<T*>(QString::fromLatin1(name));
  }
  QStringList logLines() const { return child<QTextEdit>("log")->toPlainText().split('\n'); }
  QColor lineColour(int line) const {
    const QTextBlock block = child<QTextEdit>("log")->document()->findBlockByNumber(line);
    return block.begin().fragment().charFormat().foreground().color();
  }
  QAction* action(const char* name) const { return child<QAction>(name); }
  QAction* modelAction(int command) const {
    for (QAction* a : window->findChildren<QAction*>()) {
      if (a->data().toInt() == command) return a;
    }
    return nullptr;
  }
  void drop(const std::filesystem::path& path) {
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QString::fromStdString(path.string()))});
    // A drop is delivered only after its drag was let in.
    QDragEnterEvent enter(QPoint(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QDropEvent event(QPointF(20, 20), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &event);
  }
  std::filesystem::path copyOfBlink(const char* name) {
    const auto target = dir / name;
    std::filesystem::copy_file(std::filesystem::path(QUBRIX_SOURCE_DIR) / "examples" / "blink.hex", target);
    return target;
  }
  static QString line(int id) { return QString::fromStdString("--> " + base::text(id)); }

  CQX58KT_UPGRADEDlg::Services services;
  std::unique_ptr<CQX58KT_UPGRADEDlg> window;
  std::vector<Message> messages;
  int restarts = 0;
  std::filesystem::path dir;
};

TEST_F(MainWindow, StartsInIspModeWithAnErasedBuffer) {
  CQX58KT_UPGRADEDlg& w = open();
  EXPECT_EQ(w.windowTitle(), "QUBRIX Tool v" + QString::fromLatin1(QUBRIX_VERSION).section('.', 0, 2));
  EXPECT_EQ(CQX58KT_UPGRADEDlg::instance(), &w);
  EXPECT_EQ(w.currentMode(), 0);
  EXPECT_EQ(logLines(), QStringList{line(155)});
  EXPECT_EQ(lineColour(0), CLogPane::kNormal);

  auto* hex = child<CHexEditBase>("writeBuffer");
  ASSERT_NE(hex, nullptr);
  ASSERT_EQ(hex->GetDataLength(), 0x20000u);
  EXPECT_TRUE(std::all_of(hex->GetData().begin(), hex->GetData().end(), [](std::uint8_t b) { return b == 0xFF; }));
  EXPECT_EQ(hex->GetAddressDigits(), 5u);
  EXPECT_EQ(hex->GetBytesPerRow(), 16u);
  EXPECT_TRUE(hex->GetShowAddress() && hex->GetShowAscii());
  // No saved settings: the first model of the catalogue.
  ASSERT_FALSE(firmware::Catalogue().empty());
  EXPECT_EQ(w.currentMcu(), firmware::Catalogue().front());
  EXPECT_TRUE(modelAction(CQX58KT_UPGRADEDlg::kModelCommandBase)->isChecked());
  EXPECT_FALSE(action("main.menu.firmware")->isEnabled());
}

TEST_F(MainWindow, ModeSwitchLogsTheNotesAndShowsTheModesControls) {
  CQX58KT_UPGRADEDlg& w = open();
  struct Case {
    int mode;
    std::vector<int> notes;
    bool fileRow, bufferTab, fileInfo, serial;
  };
  for (const Case& c : {Case{2, {149, 150, 151, 152, 153, 154}, false, true, false, false},
                        Case{3, {158, 159, 160, 161, 162, 163}, false, false, false, true},
                        Case{1, {156}, true, true, true, false}, Case{0, {155}, true, true, true, false}}) {
    w.SwitchMode(c.mode);
    QStringList expected;
    for (int id : c.notes) expected << line(id);
    EXPECT_EQ(logLines(), expected) << c.mode;
    EXPECT_EQ(child<QTabWidget>("modeTab")->currentIndex(), c.mode);
    EXPECT_EQ(child<QWidget>("fileRow")->isVisible(), c.fileRow) << c.mode;
    EXPECT_EQ(child<QWidget>("bufferTab")->isVisible(), c.bufferTab) << c.mode;
    EXPECT_EQ(child<QWidget>("fileInfo")->isVisible(), c.fileInfo) << c.mode;
    EXPECT_EQ(child<QWidget>("serialArea")->isVisible(), c.serial) << c.mode;
    EXPECT_EQ(child<QWidget>("touchGraph")->isVisible(), c.mode == 2) << c.mode;
    // Only the serial assistant's mode can be resized.
    EXPECT_EQ(w.minimumSize() == w.maximumSize(), c.mode != 3) << c.mode;
  }
}

TEST_F(MainWindow, LeavingARunningIspOperationStopsIt) {
  bool running = true;
  int stops = 0;
  services.ports.ispRunning = [&] { return running; };
  services.ports.stopIsp = [&] {
    ++stops;
    running = false;
  };
  CQX58KT_UPGRADEDlg& w = open();
  EXPECT_EQ(stops, 1);  // the start-up switch already found it running
  running = true;
  w.SwitchMode(1);
  EXPECT_EQ(stops, 2);
  // Said after the clear, in red, so that the user sees why the run ended.
  EXPECT_EQ(logLines(), (QStringList{line(288), line(156)}));
  EXPECT_EQ(lineColour(0), CLogPane::kError);
}

TEST_F(MainWindow, DroppedHexFileShowsChecksumSizeAndImage) {
  CQX58KT_UPGRADEDlg& w = open();
  const auto path = copyOfBlink("blink.hex.txt");  // only ".hex" somewhere in the name counts
  drop(path);
  EXPECT_TRUE(messages.empty());
  EXPECT_EQ(child<QLineEdit>("filePath")->text().toStdString(), path.string());
  // The same figures as `qubrix info -t <first model> examples/blink.hex`.
  EXPECT_EQ(child<QLabel>("checksum")->text(), "Checksum: 001FD2C2");
  EXPECT_EQ(child<QLabel>("fileSize")->text(), "FILE SIZE: 0.125 KB");
  EXPECT_EQ(w.image().totalChecksum, 0x001FD2C2u);
  const auto shown = child<CHexEditBase>("writeBuffer")->GetData();
  ASSERT_GE(shown.size(), w.image().dataLength);
  EXPECT_TRUE(std::equal(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(w.image().dataLength),
                         w.image().data.begin()));
  EXPECT_EQ(shown[0], 0x02);
  EXPECT_EQ(logLines().back().toStdString(), "--> The program file has been successfully loaded. Checksum: 001FD2C2");

  // The checksum label copies on a click.
  QTest::mouseClick(child<QLabel>("checksum"), Qt::LeftButton);
  EXPECT_EQ(QGuiApplication::clipboard()->text(), "001FD2C2");
}

TEST_F(MainWindow, DroppedOtherFileIsRefusedInChinese) {
  open();
  std::ofstream(dir / "notes.txt") << "hello";
  drop(dir / "notes.txt");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].text, "请拖拽HEX/BIN/CAB/CAP文件！");
  EXPECT_TRUE(child<QLineEdit>("filePath")->text().isEmpty());
  EXPECT_EQ(logLines(), QStringList{line(155)});
}

TEST_F(MainWindow, AFileThatCannotBeReadIsReportedAndNothingIsLoaded) {
  CQX58KT_UPGRADEDlg& w = open();
  for (const char* name : {"missing.hex", "missing.bin"}) {
    messages.clear();
    EXPECT_FALSE(w.OpenProgramFile((dir / name).string(), false));
    ASSERT_EQ(messages.size(), 1u) << name;
    EXPECT_EQ(messages[0].text, "Error in reading the file!");
    EXPECT_TRUE(child<QLineEdit>("filePath")->text().isEmpty());
  }
}

TEST_F(MainWindow, SavingTheImage) {
  CQX58KT_UPGRADEDlg& w = open();
  w.SaveImageTo((dir / "none.bin").string());
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages.back().text, base::text(318));
  EXPECT_EQ(messages.back().caption, "Tip");
  EXPECT_FALSE(std::filesystem::exists(dir / "none.bin"));

  ASSERT_TRUE(w.OpenProgramFile(copyOfBlink("blink.hex").string(), false));
  w.SaveImageTo((dir / "image.txt").string());
  EXPECT_EQ(messages.back().text, base::text(320));
  EXPECT_EQ(testsupport::readFile(dir / "image.txt"), mainwin::ImageListing(mainwin::SavedBytes(w.image())));
  w.SaveImageTo((dir / "no" / "image.bin").string());
  EXPECT_EQ(messages.back().text, base::text(321));
}

TEST_F(MainWindow, ModelSelectionReloadsAndIsSaved) {
  CQX58KT_UPGRADEDlg& w = open();
  ASSERT_TRUE(w.OpenProgramFile(copyOfBlink("blink.hex").string(), false));
  const firmware::McuList& list = firmware::Catalogue();
  ASSERT_GT(list.size(), 3u);
  const int loadsBefore = static_cast<int>(logLines().filter("successfully loaded").size());
  modelAction(CQX58KT_UPGRADEDlg::kModelCommandBase + 3)->trigger();
  EXPECT_EQ(w.currentMcu(), list[3]);
  EXPECT_EQ(w.mcuTypeIndex(), firmware::TypeIndex(*list[3]));
  EXPECT_FALSE(modelAction(CQX58KT_UPGRADEDlg::kModelCommandBase)->isChecked());
  EXPECT_EQ(logLines().filter("successfully loaded").size(), loadsBefore + 1);
  const auto saved = base::IniFile::read(mainwin::toolSettingsPath()).value("芯片型号", "MCU_TYPE_INDEX");
  EXPECT_EQ(saved, std::to_string(firmware::TypeIndex(*list[3])));

  // Out of range: nothing changes.
  w.SelectModelCommand(CQX58KT_UPGRADEDlg::kModelCommandBase + static_cast<int>(list.size()));
  EXPECT_EQ(w.currentMcu(), list[3]);

  // A new window starts with the saved model.
  window.reset();
  EXPECT_EQ(open().currentMcu(), list[3]);
}

TEST_F(MainWindow, AProductionFileSelectsItsModelAndBringsItsSettings) {
  CQX58KT_UPGRADEDlg& w = open();
  const firmware::McuPtr other = firmware::Catalogue().at(3);
  ASSERT_NE(w.currentMcu(), other);
  production::ProductionSettings made;
  made.write_limit_num_enable = true;
  made.write_num_max = 7;
  const std::uint16_t code = firmware::TypeIndex(*other);
  const auto header = production::makeHeader(production::FileKind::ProductionProject, made, *other, code, 0, 100,
                                             production::Rand15(3));
  firmware::ProgramImage source;
  source.data.assign(100, 0x5A);
  const std::vector<std::uint8_t> file =
      production::ProductionFileBytes(production::FileKind::ProductionProject, header, source);
  const auto path = dir / "made.cap";
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                              static_cast<std::streamsize>(file.size()));

  ASSERT_TRUE(w.OpenProgramFile(path.string(), false)) << logLines().join('\n').toStdString();
  EXPECT_EQ(w.currentMcu(), other);
  EXPECT_TRUE(modelAction(CQX58KT_UPGRADEDlg::kModelCommandBase + 3)->isChecked());
  EXPECT_TRUE(w.productionSettings().write_limit_num_enable);
  EXPECT_EQ(w.productionSettings().write_num_max, 7u);

  // A plain file after it brings no limits and no header of the production file along.
  ASSERT_TRUE(w.OpenProgramFile(copyOfBlink("after.hex").string(), false));
  EXPECT_FALSE(w.productionSettings().write_limit_num_enable);
  EXPECT_EQ(w.productionSettings().write_num_max, production::ProductionSettings{}.write_num_max);
  EXPECT_FALSE(w.isProductionFile());
  EXPECT_EQ(w.image().header, (std::array<std::uint8_t, firmware::kProductionHeaderSize>{}));
}

TEST_F(MainWindow, SavedModelZeroSelectsTheFirst) {
  base::IniFile ini;
  ini.setValue("芯片型号", "MCU_TYPE_INDEX", "0");
  ASSERT_TRUE(ini.write(mainwin::toolSettingsPath()));
  EXPECT_EQ(open().currentMcu(), firmware::Catalogue().front());
}

TEST_F(MainWindow, LanguageItemsCheckTheStoredLanguageAndSwitchRestarts) {
  open();
  EXPECT_TRUE(action("main.menu.english")->isChecked());
  EXPECT_FALSE(action("main.menu.chinese")->isChecked());
  action("main.menu.chinese")->trigger();
  EXPECT_EQ(appsettings::storedLanguage(), base::kLangChinese);
  EXPECT_EQ(restarts, 1);

  window.reset();
  open();
  EXPECT_TRUE(action("main.menu.chinese")->isChecked());
  EXPECT_FALSE(action("main.menu.english")->isChecked());
}

TEST_F(MainWindow, ProgrammerFoundAtStartAndOnArrival) {
  std::vector<mainwin::AttachedProgrammer> attached{{"QUBRIX Tool", "E0001"}};
  services.lookups.programmers = [&] { return attached; };
  CQX58KT_UPGRADEDlg& w = open();
  EXPECT_EQ(logLines(), (QStringList{line(155), line(294)}));
  EXPECT_EQ(std::count(w.portNames().begin(), w.portNames().end(), "USB"), 1);

  w.HandleDeviceEvent({qx::DeviceAction::Arrival, qx::DeviceBus::Hid, 0xFFCA, 0x0125});
  EXPECT_EQ(logLines().back(), line(294));
  EXPECT_EQ(std::count(w.portNames().begin(), w.portNames().end(), "USB"), 1);

  w.HandleDeviceEvent({qx::DeviceAction::Removal, qx::DeviceBus::Hid, 0xFFCA, 0x0125});
  EXPECT_EQ(logLines().back(), line(295));
  EXPECT_EQ(lineColour(static_cast<int>(logLines().size()) - 1), CLogPane::kError);
}

TEST_F(MainWindow, UnplugsAndTheModeCleanUp) {
  bool running = false;
  int stops = 0;
  services.ports.ispRunning = [&] { return running; };
  services.ports.stopIsp = [&] { ++stops; running = false; };
  CQX58KT_UPGRADEDlg& w = open();

  // Idle in ISP mode: the line, nothing stopped.
  w.HandleDeviceEvent({qx::DeviceAction::Removal, qx::DeviceBus::Usb, 0x10C4, 0xEA60});
  EXPECT_EQ(logLines().back(), line(296));
  EXPECT_EQ(stops, 0);

  running = true;
  w.HandleDeviceEvent({qx::DeviceAction::Removal, qx::DeviceBus::Usb, 0x10C4, 0xEA60});
  EXPECT_EQ(stops, 1);
  EXPECT_EQ(logLines().back(), line(288));
  EXPECT_EQ(lineColour(static_cast<int>(logLines().size()) - 1), CLogPane::kError);

  w.HandleDeviceEvent({qx::DeviceAction::Arrival, qx::DeviceBus::Hid, 0xFFCA, 0x0123});
  EXPECT_EQ(logLines().back(), line(241));
  EXPECT_TRUE(w.writerPresent());
  w.HandleDeviceEvent({qx::DeviceAction::Removal, qx::DeviceBus::Hid, 0xFFCA, 0x0123});
  EXPECT_EQ(logLines().back(), line(242));
  EXPECT_FALSE(w.writerPresent());
}

TEST_F(MainWindow, ErrorColourLastsOneLine) {
  CQX58KT_UPGRADEDlg& w = open();
  w.SetLogErrorColour();
  w.Log("--> red");
  w.Log("--> green");
  EXPECT_EQ(lineColour(1), CLogPane::kError);
  EXPECT_EQ(lineColour(2), CLogPane::kNormal);
}

}  // namespace
