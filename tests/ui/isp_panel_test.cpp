// The ISP panel in the main window, offscreen, end to end: over USB through the emulated
// programmer, over a serial port through the emulated bootloader and downloader on pseudo-terminals.
#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTextBlock>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "device/tool.hpp"
#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/downloader.hpp"
#include "emulator/serial/port_registry.hpp"
#include "emulator/serial/pty_host.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/production/header.hpp"
#include "firmware/production/writer.hpp"
#include "isp/serial_port.hpp"
#include "tests/usbjobs/rig.hpp"
#include "ui/main/isp_panel.hpp"
#include "ui/main/log_pane.hpp"
#include "ui/main/main_window.hpp"
#include "ui/main/tool_settings.hpp"

namespace {

using emulator::serial::ChipBootloader;
using emulator::serial::ChipConfig;
using emulator::serial::ChipFaults;
using emulator::serial::PtyHost;

constexpr int kRunBound = 30000;  // ms; a run here takes well under a second

QString line(int id) { return QString::fromStdString("--> " + base::text(id)); }
QString line(const char* name) { return QString::fromStdString("--> " + base::text(name)); }

// QB54T16: family type 0x100, model 0x5305.
ChipConfig qb54t16() {
  ChipConfig c;
  c.familyType = 0x100;
  c.modelId = 0x5305;
  return c;
}

class IspPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    static testsupport::TempHome settingsHome;  // QSettings keeps the folder it first saw
    appsettings::storeLanguage(base::kLangEnglish);
    base::setThreadLanguage(base::kLangEnglish);
    runtimeDir = testsupport::makeTempDir("qubrix-isppanel-");
    ::setenv("XDG_RUNTIME_DIR", runtimeDir.c_str(), 1);
    ::setenv("QUBRIX_EMULATE", "1", 1);
    rig = std::make_unique<usbjobstest::Rig>();
    services.lookups.programmers = [] {
      std::vector<mainwin::AttachedProgrammer> found;
      for (const auto& tool : qx::enumerateTools()) found.push_back({qx::toolProduct(tool), qx::toolSerialNumber(tool)});
      return found;
    };
    services.message = [this](const std::string& text, const std::string&, base::MessageIcon) {
      messages.push_back(text);
    };
  }
  void TearDown() override {
    window.reset();
    hosts.clear();
    rig.reset();
    ::unsetenv("QUBRIX_EMULATE");
    std::filesystem::remove_all(runtimeDir);
  }

  CQX58KT_UPGRADEDlg& open() {
    window = std::make_unique<CQX58KT_UPGRADEDlg>(services);
    window->show();
    panel = window->ispPanel();
    const firmware::McuList& list = firmware::Catalogue();
    for (std::size_t i = 0; i < list.size(); ++i) {
      if (list[i]->name == "QB54T16") window->SelectModelCommand(CQX58KT_UPGRADEDlg::kModelCommandBase + static_cast<int>(i));
    }
    return *window;
  }
  // A device served on a pseudo-terminal and listed among the ports.
  PtyHost& serve(std::unique_ptr<emulator::serial::SerialDevice> device) {
    hosts.push_back(std::make_unique<PtyHost>(std::move(device)));
    PtyHost& host = *hosts.back();
    EXPECT_TRUE(host.start());
    emulator::serial::announcePorts({{host.path(), "pts", host.productName(), 0, 0, true}});
    return host;
  }
  void choose(const std::string& entry) {
    panel->rebuildPortList();
    panel->selectPortEntry(entry);
    ASSERT_EQ(panel->portEntry(), entry);
  }
  void loadBlink() {
    ASSERT_TRUE(window->OpenProgramFile(std::string(QUBRIX_SOURCE_DIR) + "/examples/blink.hex", false));
  }
  // Presses a button and waits for the run it starts to end.
  base::Outcome press(const char* button) {
    QSignalSpy ended(panel, &CUpdataModeDlg::runEnded);
    child<QPushButton>(button)->click();
    if (ended.isEmpty() && !ended.wait(kRunBound)) return base::Outcome::Cancelled;
    QCoreApplication::processEvents();
    return ended.takeFirst().at(0).value<base::Outcome>();
  }
  template <typename T>
  T* child(const char* name) const {
    return window->findChild<T*>(QString::fromLatin1(name));
  }
  QStringList logLines() const { return child<QTextEdit>("log")->toPlainText().split('\n'); }
  bool logged(const QString& l) const { return logLines().contains(l); }
  bool loggedRed(const QString& l) const {
    const QTextDocument* doc = child<QTextEdit>("log")->document();
    for (QTextBlock b = doc->begin(); b.isValid(); b = b.next()) {
      if (b.text() == l && b.begin().fragment().charFormat().foreground().color() == CLogPane::kError) return true;
    }
    return false;
  }
  bool anySuccessLine() const {
    return logged(line(230)) || logged(line(181)) || logged(line("usb.program_ok")) ||
           !logLines().filter("Programming completed! Time").isEmpty();
  }
  std::string log() const { return logLines().join('\n').toStdString(); }
  bool controlsBack() const {
    return child<QPushButton>("programButton")->isEnabled() && child<QPushButton>("checkButton")->isEnabled() &&
           child<QWidget>("fileRow")->isEnabled();
  }
  bool flashHolds(PtyHost& host) const {
    const firmware::ProgramImage& image = window->image();
    bool same = false;
    host.withDevice([&](emulator::serial::SerialDevice& d) {
      const isp::Bytes flash = dynamic_cast<ChipBootloader&>(d).flash().bytes();
      same = std::equal(image.data.begin(), image.data.begin() + static_cast<std::ptrdiff_t>(image.dataLength),
                        flash.begin());
    });
    return same;
  }

  // An encrypted program file of 300 bytes of 0x3C for the selected model.
  std::filesystem::path makeCab() const {
    const firmware::McuPtr model = window->currentMcu();
    firmware::ProgramImage source;
    source.data.assign(300, 0x3C);
    const auto header = production::makeHeader(production::FileKind::EncryptedProgram, {}, *model,
                                               firmware::TypeIndex(*model), 0, 300, production::Rand15(5));
    const auto bytes = production::ProductionFileBytes(production::FileKind::EncryptedProgram, header, source);
    const auto cab = runtimeDir / "made.cab";
    std::ofstream(cab, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                               static_cast<std::streamsize>(bytes.size()));
    return cab;
  }

  std::filesystem::path runtimeDir;
  std::unique_ptr<usbjobstest::Rig> rig;
  std::vector<std::unique_ptr<PtyHost>> hosts;
  CQX58KT_UPGRADEDlg::Services services;
  std::unique_ptr<CQX58KT_UPGRADEDlg> window;
  CUpdataModeDlg* panel = nullptr;
  std::vector<std::string> messages;
};

TEST_F(IspPanel, UsbProgramCheckAndPowerThroughTheProgrammer) {
  open();
  choose("USB");
  EXPECT_TRUE(child<QPushButton>("powerButton")->isEnabled());
  EXPECT_TRUE(child<QAction>("main.menu.firmware")->isEnabled());
  loadBlink();
  const firmware::ProgramImage& image = window->image();

  ASSERT_EQ(press("programButton"), base::Outcome::Success) << log();
  EXPECT_FALSE(logLines().filter(QRegularExpression("^--> Programming completed! Time consumption: [0-9.]+s\\.$")).isEmpty()) << log();
  EXPECT_EQ(rig->targetFlash(0, image.dataLength),
            std::vector<std::uint8_t>(image.data.begin(), image.data.begin() + static_cast<std::ptrdiff_t>(image.dataLength)));
  EXPECT_FALSE(rig->targetPowered());
  EXPECT_FALSE(rig->anyTransportOpen());
  EXPECT_EQ(window->progressBar()->value(), 100);
  EXPECT_TRUE(controlsBack());

  ASSERT_EQ(press("checkButton"), base::Outcome::Success) << log();
  EXPECT_TRUE(logged(line(181))) << log();

  ASSERT_EQ(press("powerButton"), base::Outcome::Success) << log();
  EXPECT_TRUE(logged(line("usb.powered_on"))) << log();
  EXPECT_TRUE(rig->targetPowered());
  EXPECT_EQ(child<QPushButton>("powerButton")->text(), QString::fromStdString(base::text("usb.power_button_off")));
  ASSERT_EQ(press("powerButton"), base::Outcome::Success) << log();
  EXPECT_FALSE(rig->targetPowered());
  EXPECT_EQ(child<QPushButton>("powerButton")->text(), QString::fromStdString(base::text("usb.power_button_on")));

  // A serial port entry takes the Power button and the firmware menu item away again.
  PtyHost& host = serve(std::make_unique<ChipBootloader>(qb54t16()));
  choose(host.path());
  EXPECT_FALSE(child<QPushButton>("powerButton")->isEnabled());
  EXPECT_FALSE(child<QAction>("main.menu.firmware")->isEnabled());
}

TEST_F(IspPanel, AProgrammerThatArrivesIsOfferedAtOnce) {
  rig->detach();
  open();
  auto* box = child<QComboBox>("portBox");
  EXPECT_EQ(box->findData(QStringLiteral("USB")), -1);
  rig = std::make_unique<usbjobstest::Rig>();
  window->HandleDeviceEvent({qx::DeviceAction::Arrival, qx::DeviceBus::Hid, 0xFFCA, 0x0125});
  EXPECT_GE(box->findData(QStringLiteral("USB")), 0);
}

TEST_F(IspPanel, UsbWithoutAFileOrWithTheProgrammerGone) {
  open();
  choose("USB");
  child<QPushButton>("programButton")->click();
  EXPECT_EQ(messages, std::vector<std::string>{base::text(170)});
  ASSERT_EQ(press("checkButton"), base::Outcome::Failed);
  EXPECT_TRUE(loggedRed(line("usb.load_firmware"))) << log();

  loadBlink();
  rig->detach();
  ASSERT_EQ(press("programButton"), base::Outcome::Failed);
  EXPECT_TRUE(loggedRed(line(104))) << log();
  EXPECT_FALSE(anySuccessLine());
  EXPECT_TRUE(controlsBack());
}

// A .cab loaded in another mode is held plain: programmed from ISP mode it must not be deciphered.
TEST_F(IspPanel, AnEncryptedFileLoadedOutsideIspModeProgramsItsPlainBytesOverUsb) {
  open();
  window->SwitchMode(1);
  ASSERT_TRUE(window->OpenProgramFile(makeCab().string(), false)) << log();
  window->SwitchMode(0);
  choose("USB");
  ASSERT_EQ(press("programButton"), base::Outcome::Success) << log();
  EXPECT_EQ(rig->targetFlash(0, 300), std::vector<std::uint8_t>(300, 0x3C));
}

TEST_F(IspPanel, SerialProgramAndCheckThroughTheBootloader) {
  PtyHost& host = serve(std::make_unique<ChipBootloader>(qb54t16()));
  open();
  choose(host.path());
  loadBlink();
  ASSERT_EQ(press("programButton"), base::Outcome::Success) << log();
  EXPECT_TRUE(logged(line(171)) && logged(line(113)) && logged(line(230))) << log();
  EXPECT_TRUE(flashHolds(host));
  EXPECT_FALSE(window->SerialPort().IsOpen());
  EXPECT_EQ(window->progressBar()->value(), window->progressBar()->maximum());
  EXPECT_TRUE(controlsBack());

  ASSERT_EQ(press("checkButton"), base::Outcome::Success) << log();
  EXPECT_TRUE(logged(line(230))) << log();
}

TEST_F(IspPanel, SerialProgramAndCheckThroughTheDownloader) {
  emulator::serial::DownloaderConfig config;
  config.chip = qb54t16();
  PtyHost& host = serve(std::make_unique<emulator::serial::SerialDownloader>(config));
  open();
  choose(host.path());
  loadBlink();
  ASSERT_EQ(press("programButton"), base::Outcome::Success) << log();
  EXPECT_TRUE(logged(line(172))) << log();
  EXPECT_FALSE(logLines().filter("Programming completed! Time").isEmpty()) << log();
  ASSERT_EQ(press("checkButton"), base::Outcome::Success) << log();
  EXPECT_TRUE(logged(line(181))) << log();
}

TEST_F(IspPanel, SerialChoicesComeFromTheSettings) {
  ChipConfig chip = qb54t16();
  PtyHost& host = serve(std::make_unique<ChipBootloader>(chip));
  open();
  choose(host.path());
  window->settings().upgradeBaudIndex = 7;  // 57600
  child<QCheckBox>("eraseChip")->setChecked(true);
  loadBlink();
  ASSERT_EQ(press("programButton"), base::Outcome::Success) << log();
  EXPECT_EQ(host.deviceRate(), 57600u);
  bool wholeChip = false;
  for (const isp::Frame& f : host.requests()) {
    if (f.size() > 5 && f[2] == isp::kCmdErase && f[3] == isp::kAreaFlash) wholeChip = f[5] == 1;
  }
  EXPECT_TRUE(wholeChip);

  // Read back by a new window: the port by its path, "Erase Chip", the upgrade baud.
  window->SaveSettings();
  window.reset();
  open();
  EXPECT_EQ(panel->portEntry(), host.path());
  EXPECT_TRUE(child<QCheckBox>("eraseChip")->isChecked());
  EXPECT_EQ(window->settings().upgradeBaudIndex, 7);
}

TEST_F(IspPanel, ASavedPortThatIsGoneFallsBackToTheFirst) {
  PtyHost& host = serve(std::make_unique<ChipBootloader>(qb54t16()));
  open();
  window->settings().portPath = "/dev/ttyGONE0";
  window->SaveSettings();
  window.reset();
  open();
  ASSERT_GT(child<QComboBox>("portBox")->count(), 0);
  EXPECT_EQ(panel->portEntry(), child<QComboBox>("portBox")->itemData(0).toString().toStdString());
  EXPECT_NE(host.path(), "");
}

TEST_F(IspPanel, CancelWhileSynchronisingEndsTheRunAndReleasesThePort) {
  ChipFaults faults;
  faults.silent = true;
  PtyHost& host = serve(std::make_unique<ChipBootloader>(qb54t16(), faults));
  open();
  choose(host.path());
  loadBlink();
  QSignalSpy ended(panel, &CUpdataModeDlg::runEnded);
  child<QPushButton>("programButton")->click();
  EXPECT_TRUE(logged(line(171)));
  EXPECT_FALSE(child<QPushButton>("programButton")->isEnabled());
  EXPECT_TRUE(window->SerialPort().IsOpen());
  child<QPushButton>("cancelButton")->click();
  ASSERT_EQ(ended.count(), 1);
  EXPECT_EQ(ended.takeFirst().at(0).value<base::Outcome>(), base::Outcome::Cancelled);
  EXPECT_TRUE(loggedRed(line(185))) << log();
  EXPECT_FALSE(window->SerialPort().IsOpen());
  EXPECT_FALSE(anySuccessLine());
  EXPECT_TRUE(controlsBack());
}

// Cancel where the run waits for an answer that does not come: the synchronisation, the line test
// after the baud switch, a block's acknowledgement.
TEST_F(IspPanel, CancelAtEachPhaseEndsTheRunAndReleasesThePort) {
  struct Case {
    const char* phase;
    std::size_t answered;  // requests the bootloader answers before it falls silent
    std::function<bool(const CUpdataModeDlg&)> reached;
  };
  const QString programming = line(112);
  const Case cases[] = {
      {"line test", 1, [](const CUpdataModeDlg& p) { return const_cast<CUpdataModeDlg&>(p).engine().state() == 3; }},
      {"blocks", 4, [this, programming](const CUpdataModeDlg&) { return logged(programming); }},
  };
  for (const Case& c : cases) {
    ChipFaults faults;
    faults.muteAfterRequests = c.answered;
    PtyHost& host = serve(std::make_unique<ChipBootloader>(qb54t16(), faults));
    open();
    choose(host.path());
    loadBlink();
    QSignalSpy ended(panel, &CUpdataModeDlg::runEnded);
    child<QPushButton>("programButton")->click();
    QElapsedTimer waited;
    waited.start();
    while (!c.reached(*panel) && ended.isEmpty() && waited.elapsed() < kRunBound) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_TRUE(c.reached(*panel)) << c.phase << log();
    child<QPushButton>("cancelButton")->click();
    ASSERT_EQ(ended.count(), 1) << c.phase;
    EXPECT_EQ(ended.takeFirst().at(0).value<base::Outcome>(), base::Outcome::Cancelled) << c.phase;
    EXPECT_TRUE(loggedRed(line(185))) << c.phase << log();
    EXPECT_FALSE(window->SerialPort().IsOpen()) << c.phase;
    EXPECT_FALSE(anySuccessLine()) << c.phase;
    EXPECT_TRUE(controlsBack()) << c.phase;
  }
}

TEST_F(IspPanel, APulledAdapterEndsTheRunWithItsLine) {
  ChipFaults faults;
  faults.unplugAfterRequests = 5;  // SetBaud, ConfirmBaud, ProgramStart, Erase, the first block
  PtyHost& host = serve(std::make_unique<ChipBootloader>(qb54t16(), faults));
  open();
  choose(host.path());
  loadBlink();
  ASSERT_EQ(press("programButton"), base::Outcome::Failed) << log();
  EXPECT_TRUE(loggedRed(line(288))) << log();
  EXPECT_FALSE(anySuccessLine()) << log();
  EXPECT_FALSE(window->SerialPort().IsOpen());
  EXPECT_TRUE(controlsBack());
}

TEST_F(IspPanel, AModeSwitchMidRunStopsItAndSaysSoAfterTheClear) {
  ChipFaults faults;
  faults.silent = true;
  PtyHost& host = serve(std::make_unique<ChipBootloader>(qb54t16(), faults));
  open();
  choose(host.path());
  loadBlink();
  QSignalSpy ended(panel, &CUpdataModeDlg::runEnded);
  child<QPushButton>("programButton")->click();
  ASSERT_TRUE(panel->running());
  window->SwitchMode(1);
  EXPECT_EQ(ended.count(), 1);
  EXPECT_FALSE(panel->running());
  EXPECT_FALSE(window->SerialPort().IsOpen());
  EXPECT_EQ(logLines(), (QStringList{line(288), line(156)}));
  EXPECT_TRUE(loggedRed(line(288)));
}

TEST_F(IspPanel, APortThatWillNotOpen) {
  open();
  choose("USB");
  loadBlink();
  window->settings().portPath = "/dev/null";
  auto* box = child<QComboBox>("portBox");
  box->addItem(QStringLiteral("/dev/null"), QStringLiteral("/dev/null"));
  panel->selectPortEntry("/dev/null");
  child<QPushButton>("programButton")->click();
  EXPECT_EQ(messages.back(), base::text(192));
  EXPECT_FALSE(panel->running());
  EXPECT_TRUE(controlsBack());
}

TEST_F(IspPanel, AFailedLoadLeavesNothingToProgram) {
  PtyHost& host = serve(std::make_unique<ChipBootloader>(qb54t16()));
  open();
  choose(host.path());
  loadBlink();
  const auto bad = runtimeDir / "bad.hex";
  std::ofstream(bad) << ":10000000ZZ\n";
  EXPECT_FALSE(window->OpenProgramFile(bad.string(), false));
  EXPECT_EQ(child<QLineEdit>("filePath")->text(), QString::fromStdString(base::text(169)));
  EXPECT_FALSE(window->imageLoaded());
  EXPECT_EQ(window->image().dataLength, 0u);
  messages.clear();
  child<QPushButton>("programButton")->click();
  EXPECT_EQ(messages, std::vector<std::string>{base::text(170)});
  child<QPushButton>("checkButton")->click();
  EXPECT_EQ(messages.back(), base::text("isppanel.select_file_to_verify"));
  EXPECT_TRUE(host.requests().empty());
  // A model change has nothing to reload and shows no refusal again.
  messages.clear();
  window->SelectModelCommand(CQX58KT_UPGRADEDlg::kModelCommandBase + 1);
  EXPECT_TRUE(messages.empty());
}

// An encrypted program file over a serial port: only on the port selected when it was loaded, and
// only through a downloader of version 516 or later, which the load asked for its version.
TEST_F(IspPanel, AnEncryptedFileGoesOnlyThroughItsPortAndARecentDownloader) {
  for (std::uint16_t version : {std::uint16_t{515}, std::uint16_t{516}}) {
    emulator::serial::DownloaderConfig config;
    config.chip = qb54t16();
    config.version = version;
    PtyHost& downloader = serve(std::make_unique<emulator::serial::SerialDownloader>(config));
    PtyHost& other = serve(std::make_unique<ChipBootloader>(qb54t16()));
    open();
    const auto cab = makeCab();

    choose(downloader.path());
    ASSERT_TRUE(window->OpenProgramFile(cab.string(), false)) << log();
    QElapsedTimer waited;
    waited.start();
    while (!panel->engine().programmerVersion() && waited.elapsed() < kRunBound) {
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    ASSERT_EQ(panel->engine().programmerVersion(), version);

    messages.clear();
    choose(other.path());
    child<QPushButton>("programButton")->click();
    EXPECT_EQ(messages, std::vector<std::string>{base::text("isppanel.reload_encrypted")});
    EXPECT_FALSE(panel->running());

    messages.clear();
    choose(downloader.path());
    if (version < 516) {
      child<QPushButton>("programButton")->click();
      EXPECT_EQ(messages, std::vector<std::string>{base::text("isp.version_too_low")});
      EXPECT_FALSE(panel->running());
    } else {
      ASSERT_EQ(press("programButton"), base::Outcome::Success) << log();
      EXPECT_TRUE(logged(line(281))) << log();
      // The downloader received the plain program, not the image as held in memory.
      bool plain = false;
      downloader.withDevice([&](emulator::serial::SerialDevice& d) {
        const isp::Bytes flash = dynamic_cast<emulator::serial::SerialDownloader&>(d).targetFlash().bytes();
        plain = std::all_of(flash.begin(), flash.begin() + 300, [](std::uint8_t b) { return b == 0x3C; });
      });
      EXPECT_TRUE(plain);
    }
    window.reset();
    hosts.clear();
  }
}

TEST_F(IspPanel, EnterIsSwallowed) {
  open();
  QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
  QApplication::sendEvent(panel, &enter);
  EXPECT_TRUE(enter.isAccepted());
  EXPECT_TRUE(window->isVisible());
}

}  // namespace
