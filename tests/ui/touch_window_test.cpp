// Touch debug mode in the main window: the red notes, the table shown over the left tab area, a
// session against the emulated touch target with a threshold edited in the table, the Software
// Management guard, the session ended by leaving the mode, and a session over a COM port to the
// emulated touch board.
#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <gtest/gtest.h>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "device/touch_debug.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/touch_board.hpp"
#include "isp/serial_port.hpp"
#include "tests/support/temp_home.hpp"
#include "ui/main/log_pane.hpp"
#include "ui/main/main_window.hpp"
#include "ui/touch/touch_mode_dlg.hpp"
#include "widgets/list_ctrl_cl.hpp"

namespace {

namespace ep = emulator::programmer;

constexpr int kBoundMs = 10000;

// QSettings fixes its folder on first use, so one scratch home serves every test of the program.
testsupport::TempHome& home() {
  static testsupport::TempHome h;
  return h;
}

class TouchWindow : public ::testing::Test {
 protected:
  void SetUp() override {
    home();
    base::setThreadLanguage(base::kLangEnglish);
    ep::Config board;
    board.touchChannels = 6;
    device = ep::EmulatedProgrammer::create(board);
    link = device->attach();
    services.touchTool = [this] { return std::make_shared<qx::TouchDebug>(link); };
    services.message = [this](const std::string& text, const std::string& caption, base::MessageIcon) {
      messages.push_back(caption + ": " + text);
    };
    services.openFile = [](const std::string&) {};
    services.openStoreManager = [this](QWidget*, const firmware::McuList&) { ++storeOpened; };
    window = std::make_unique<CQX58KT_UPGRADEDlg>(services);
    window->show();
  }
  template <typename T>
  T* child(const char* name) const {
    return window->findChild<T*>(QString::fromLatin1(name));
  }
  QString cell(int row, int column) const {
    const QTableWidgetItem* it = window->touchTable()->item(row, column);
    return it != nullptr ? it->text() : QString();
  }
  // Touch debug mode with `path` picked in the port box and Connect pressed.
  void connectOverComPort(const std::string& path) {
    window->SwitchMode(2);
    auto* port = child<QComboBox>("touchPort");
    port->addItem(QString::fromStdString(path));
    port->setCurrentIndex(port->count() - 1);
    child<QPushButton>("touchConnect")->click();
  }
  bool waitForChannels() {
    return QTest::qWaitFor([&] { return cell(2, 6) == QStringLiteral("TP5") && cell(0, 1) != QStringLiteral("0"); }, kBoundMs);
  }
  std::uint16_t targetThreshold(int channel) {
    std::uint16_t t = 0;
    device->inspect([&](ep::ProgrammerModel& m) { t = m.touchSensor().threshold(channel); });
    return t;
  }

  std::shared_ptr<ep::EmulatedProgrammer> device;
  std::shared_ptr<qx::Interface> link;
  CQX58KT_UPGRADEDlg::Services services;
  std::unique_ptr<CQX58KT_UPGRADEDlg> window;
  std::vector<std::string> messages;
  int storeOpened = 0;
};

TEST_F(TouchWindow, NotesInRedAndTheTableOverTheLeftArea) {
  EXPECT_FALSE(window->touchTable()->isVisible());
  // The baud box lists the serial panel's rates: 19200 at creation, the link's 115200 in the mode.
  auto* baud = child<QComboBox>("touchBaud");
  auto* serialBaud = child<QComboBox>("baudBox");
  ASSERT_EQ(baud->count(), serialBaud->count());
  for (int i = 0; i < baud->count(); ++i) EXPECT_EQ(baud->itemText(i), serialBaud->itemText(i)) << i;
  EXPECT_EQ(baud->currentText(), QStringLiteral("19200"));
  window->SwitchMode(2);
  EXPECT_EQ(baud->currentText(), QStringLiteral("115200"));
  EXPECT_FALSE(baud->isEnabled());
  const QTextDocument* log = child<QTextEdit>("log")->document();
  ASSERT_EQ(log->blockCount(), 6);
  for (int i = 0; i < 6; ++i) {
    const QTextBlock block = log->findBlockByNumber(i);
    EXPECT_EQ(block.text(), QString::fromStdString("--> " + base::text(149 + i)));
    EXPECT_EQ(block.begin().fragment().charFormat().foreground().color(), CLogPane::kError) << i;
  }
  EXPECT_TRUE(window->touchTable()->isVisible());
  EXPECT_EQ(window->touchTable()->columnCount(), 11);
  EXPECT_EQ(window->touchTable()->rowCount(), 24);
  EXPECT_EQ(window->touchTable()->horizontalHeaderItem(4)->text(), QStringLiteral("Threshold"));
  EXPECT_EQ(window->touchTable()->horizontalHeaderItem(5)->text(), QStringLiteral("     "));
  EXPECT_EQ(window->touchTable()->CellBackground(3, 7), CListCtrlCl::kColumnGrey);
  window->SwitchMode(0);
  EXPECT_FALSE(window->touchTable()->isVisible());
}

TEST_F(TouchWindow, ASessionWithAThresholdEditedInTheTable) {
  window->SwitchMode(2);
  QSignalSpy changes(window.get(), &CQX58KT_UPGRADEDlg::touchSessionChanged);
  EXPECT_FALSE(window->RefuseWhileTouchDebugging());
  child<QPushButton>("touchConnect")->click();
  ASSERT_TRUE(window->TouchSessionActive());
  EXPECT_EQ(child<QPushButton>("touchConnect")->text(), QString::fromStdString(base::text(196)));
  EXPECT_FALSE(child<QPushButton>("touchRun")->isEnabled());
  EXPECT_TRUE(child<QPushButton>("touchSave")->isEnabled());
  ASSERT_EQ(changes.size(), 1);
  ASSERT_TRUE(waitForChannels());

  CListCtrlCl* table = window->touchTable();
  const QRect threshold = table->visualRect(table->model()->index(1, 4));
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, threshold.center());
  ASSERT_FALSE(table->EditBox()->isHidden());
  table->EditBox()->selectAll();
  QTest::keyClicks(table->EditBox(), QStringLiteral("8x0"));  // digits only
  QTest::keyClick(table->EditBox(), Qt::Key_Return);
  EXPECT_TRUE(table->EditBox()->isHidden());
  EXPECT_EQ(cell(1, 4), QStringLiteral("80"));
  EXPECT_EQ(targetThreshold(2), 80);

  EXPECT_TRUE(window->RefuseWhileTouchDebugging());
  EXPECT_EQ(messages, std::vector<std::string>{"Tip: Please finish the touch debugging first."});
  window->OpenStoreManager();
  EXPECT_EQ(storeOpened, 0);
  EXPECT_EQ(messages.size(), 2u);
  EXPECT_EQ(messages.back(), "Tip: Please finish the touch debugging first.");
  EXPECT_FALSE(child<QAction>("main.menu.firmware_update")->isEnabled());

  window->SwitchMode(1);
  EXPECT_FALSE(window->TouchSessionActive());
  EXPECT_EQ(changes.size(), 2);
  EXPECT_TRUE(child<QAction>("main.menu.firmware_update")->isEnabled());
  EXPECT_FALSE(link->isOpen());
  const auto log = device->log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(log[log.size() - 2].request[0], 0x51);  // touch disconnect, then the power off
}

TEST_F(TouchWindow, NoEditorWhileTheChipIsNotConnected) {
  window->SwitchMode(2);
  child<QPushButton>("touchConnect")->click();
  ASSERT_TRUE(waitForChannels());
  child<QPushButton>("touchConnect")->click();
  EXPECT_FALSE(window->TouchSessionActive());
  CListCtrlCl* table = window->touchTable();
  QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, table->visualRect(table->model()->index(0, 10)).center());
  EXPECT_TRUE(table->EditBox()->isHidden());
}

TEST_F(TouchWindow, AComPortSessionFillsTheTableAndEndsWithThePowerCycleOnLeaving) {
  namespace es = emulator::serial;
  es::PtyHost board(std::make_unique<es::TouchBoard>(es::TouchBoardConfig{.channels = 6}));
  ASSERT_TRUE(board.start());
  auto* port = child<QComboBox>("touchPort");
  auto* connect = child<QPushButton>("touchConnect");
  connectOverComPort(board.path());
  ASSERT_TRUE(QTest::qWaitFor([&] { return cell(2, 6) == QStringLiteral("TP5") && !cell(0, 1).isEmpty() && cell(0, 1) != QStringLiteral("0"); },
                              kBoundMs));
  EXPECT_EQ(connect->text(), QString::fromStdString(base::text(196)));
  EXPECT_FALSE(connect->isEnabled());
  EXPECT_TRUE(child<QPushButton>("touchStop")->isEnabled());
  EXPECT_FALSE(port->isEnabled());
  EXPECT_TRUE(window->TouchSessionActive());
  EXPECT_EQ(window->SerialPort().CurrentBaud(), 115200U);

  window->SwitchMode(0);
  EXPECT_FALSE(window->SerialPort().IsOpen());
  EXPECT_FALSE(window->TouchSessionActive());
  const isp::Frame powerCycle{0x55, 0x01, 0x22, 0x23};
  // The board reads the last frame on its own thread; waited for rather than timed.
  (void)QTest::qWaitFor([&] { const auto r = board.requests(); return !r.empty() && r.back() == powerCycle; }, kBoundMs);
  const auto requests = board.requests();
  ASSERT_FALSE(requests.empty());
  EXPECT_EQ(requests.back(), powerCycle);
}

TEST_F(TouchWindow, AComPortBoardPulledMidSessionLeavesConnectReady) {
  namespace es = emulator::serial;
  es::PtyHost board(std::make_unique<es::TouchBoard>(es::TouchBoardConfig{.channels = 6}, es::TouchBoardFaults{.unplugAfterFrames = 30}));
  ASSERT_TRUE(board.start());
  auto* port = child<QComboBox>("touchPort");
  auto* connect = child<QPushButton>("touchConnect");
  connectOverComPort(board.path());
  ASSERT_TRUE(QTest::qWaitFor([&] { return window->TouchSessionActive(); }, kBoundMs));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !window->TouchSessionActive(); }, kBoundMs));
  EXPECT_TRUE(connect->isEnabled());
  EXPECT_EQ(connect->text(), QString::fromStdString(base::text(195)));
  EXPECT_TRUE(port->isEnabled());
  EXPECT_FALSE(window->SerialPort().IsOpen());
  EXPECT_FALSE(window->SerialPort().HasError());
}

}  // namespace
