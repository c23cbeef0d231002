// The serial assistant in the main window offscreen: its settings file, the mode's notes, the
// batched pane, Save Data and leaving the mode, on the emulated echo device.
#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/terminal_devices.hpp"
#include "tests/support/temp_home.hpp"
#include "base/ini_file.hpp"
#include "ui/main/log_pane.hpp"
#include "ui/main/main_window.hpp"
#include "ui/main/tool_settings.hpp"
#include "ui/serial/receive_pane.hpp"
#include "ui/serial/serial_views.hpp"
#include "ui/serial/uart_test_dlg.hpp"

namespace {

testsupport::TempHome& home() {
  static testsupport::TempHome h;
  return h;
}

// Runs the event loop until `done` holds; false after a generous bound.
template <class Done>
bool pumpUntil(Done done) {
  QElapsedTimer clock;
  clock.start();
  while (!done()) {
    if (clock.elapsed() > 20000) return false;
    QApplication::processEvents(QEventLoop::AllEvents, 10);
    QThread::msleep(2);
  }
  return true;
}

class SerialPanel : public ::testing::Test {
 protected:
  void SetUp() override {
    home();
    appsettings::storeLanguage(base::kLangEnglish);
    base::setThreadLanguage(base::kLangEnglish);
    std::filesystem::remove(mainwin::toolSettingsPath());
    services.message = [this](const std::string& text, const std::string&, base::MessageIcon) {
      messages.push_back(text);
    };
  }

  CQX58KT_UPGRADEDlg& open() {
    window = std::make_unique<CQX58KT_UPGRADEDlg>(services);
    window->show();
    window->SwitchMode(3);
    return *window;
  }
  template <typename T>
  T* child(const char* name) const {
    return window->findChild<T*>(QString::fromLatin1(name));
  }
  UartTestDlg* panel() const { return child<UartTestDlg>("serialPanel"); }
  CReceivePane* pane() const { return child<CReceivePane>("receiveView"); }
  std::string ini(const char* section, const char* key) const {
    return base::IniFile::read(mainwin::toolSettingsPath()).value(section, key).value_or("(missing)");
  }
  void type(const char* edit, const char* text) {
    auto* e = child<QLineEdit>(edit);
    e->clear();
    QTest::keyClicks(e, QString::fromLatin1(text));
  }

  CQX58KT_UPGRADEDlg::Services services;
  std::unique_ptr<CQX58KT_UPGRADEDlg> window;
  std::vector<std::string> messages;
};

TEST_F(SerialPanel, EveryOptionIsSavedAtOnceUnderItsChineseSectionAndReadBack) {
  open();
  child<QCheckBox>("hexDisplayCheck")->setChecked(true);
  child<QCheckBox>("autoClearCheck")->setChecked(true);
  child<QCheckBox>("hexSendCheck")->setChecked(true);
  type("perLineEdit", "16");
  child<QCheckBox>("packetCheck")->setChecked(true);
  type("timeoutEdit", "80");
  child<QLineEdit>("intervalEdit")->setEnabled(true);
  type("intervalEdit", "250");
  EXPECT_EQ(ini("HEX显示", "HexDis"), "1");
  EXPECT_EQ(ini("分包显示", "PackageDis"), "1");
  EXPECT_EQ(ini("HEX发送", "HexSend"), "1");
  EXPECT_EQ(ini("接收超时", "OutTimer"), "80");
  EXPECT_EQ(ini("定时发送", "SendTimer"), "250");
  EXPECT_EQ(ini("接收每行个数", "RecDisNum"), "16");
  EXPECT_EQ(ini("接收自动清除", "AutoClear"), "1");
  // A 0 typed into the timeout or the interval is ignored: the previous value stays.
  type("timeoutEdit", "0");
  type("intervalEdit", "0");
  EXPECT_EQ(ini("接收超时", "OutTimer"), "80");
  EXPECT_EQ(ini("定时发送", "SendTimer"), "250");

  window.reset();
  open();
  EXPECT_TRUE(child<QCheckBox>("hexDisplayCheck")->isChecked());
  EXPECT_TRUE(child<QCheckBox>("packetCheck")->isChecked());
  EXPECT_TRUE(child<QCheckBox>("autoClearCheck")->isChecked());
  EXPECT_TRUE(child<QCheckBox>("hexSendCheck")->isChecked());
  EXPECT_FALSE(child<QCheckBox>("timedCheck")->isChecked());
  EXPECT_EQ(child<QLineEdit>("timeoutEdit")->text(), "80");
  EXPECT_EQ(child<QLineEdit>("perLineEdit")->text(), "16");
  EXPECT_EQ(child<QLineEdit>("intervalEdit")->text(), "250");
  // The timeout edit goes with packet display, the per-line edit with hex display without packets.
  EXPECT_TRUE(child<QLineEdit>("timeoutEdit")->isEnabled());
  EXPECT_FALSE(child<QLineEdit>("perLineEdit")->isEnabled());
  const terminal::TerminalSettings s = panel()->core().settings();
  EXPECT_EQ(s.packetTimeoutMs, 80);
  EXPECT_EQ(s.sendIntervalMs, 250);
  EXPECT_EQ(s.bytesPerLine, 16);
}

TEST_F(SerialPanel, TheModesNotesAreLoggedWordForWordInRed) {
  open();
  const QTextDocument* log = child<QTextEdit>("log")->document();
  ASSERT_EQ(log->blockCount(), 6);
  const int ids[] = {158, 159, 160, 161, 162, 163};
  for (int i = 0; i < 6; ++i) {
    const QTextBlock block = log->findBlockByNumber(i);
    EXPECT_EQ(block.text().toStdString(), "--> " + base::text(ids[i]));
    EXPECT_EQ(block.begin().fragment().charFormat().foreground().color(), CLogPane::kError) << i;
  }
  EXPECT_EQ(base::text(160),
            "1. HEX Mode: Receive display format selection; HEX sending: HEX data sending selection, automatic "
            "clearing: Automatically clear and display when 500 lines are received.");
}

TEST_F(SerialPanel, ManyChunksReachThePaneInAFewBatchesWithRedHeaders) {
  open();
  child<QCheckBox>("hexDisplayCheck")->setChecked(true);
  child<QCheckBox>("packetCheck")->setChecked(true);
  pane()->flush();
  const int before = pane()->flushes();
  const std::uint8_t chunk[] = {0xA1, 0xB2};
  for (int i = 0; i < 1000; ++i) panel()->onBytes(chunk);
  // Nothing was drawn per chunk; the queued text appears with the next flush.
  EXPECT_EQ(pane()->flushes(), before);
  ASSERT_TRUE(pumpUntil([&] { return pane()->flushes() > before; }));
  EXPECT_EQ(pane()->flushes(), before + 1);
  const QTextBlock header = pane()->document()->findBlockByNumber(1);
  EXPECT_EQ(header.begin().fragment().charFormat().foreground().color(), QColor(255, 0, 0));
  EXPECT_TRUE(header.text().contains(QStringLiteral("]收<-- A1 B2 ")));
  // The 6000 characters of the one packet continue on a new line of the pane after a blank once
  // the line is long, so that no flush lays out one huge line; nothing is lost on the way.
  QString packet;
  for (QTextBlock b = header; b.isValid(); b = b.next()) {
    EXPECT_LE(b.length(), CReceivePane::kLongLine + 40);
    packet += b.text();
  }
  EXPECT_EQ(packet.count(QStringLiteral("A1 B2 ")), 1000);
  EXPECT_GT(pane()->document()->blockCount(), 2);
}

TEST_F(SerialPanel, EchoedHexSavedAsShownAndTheModesEndClosesThePort) {
  emulator::serial::PtyHost echo(std::make_unique<emulator::serial::EchoDevice>());
  ASSERT_TRUE(echo.start());
  open();
  panel()->selectPort(echo.path());
  child<QCheckBox>("hexDisplayCheck")->setChecked(true);
  child<QCheckBox>("hexSendCheck")->setChecked(true);
  child<QPushButton>("serialOpenButton")->click();
  EXPECT_EQ(child<QPushButton>("serialOpenButton")->text(), "Close");
  child<QPlainTextEdit>("sendEdit")->setPlainText(QStringLiteral("A1B2 00 ff"));
  child<QPushButton>("sendButton")->click();
  ASSERT_TRUE(pumpUntil([&] { return pane()->toPlainText() == QStringLiteral("A1 B2 00 FF "); }));
  EXPECT_EQ(panel()->core().receivedText(), "A1 B2 00 FF ");
  // Exactly these bytes crossed the line.
  std::vector<std::uint8_t> wire;
  for (const auto& e : echo.exchanges()) {
    if (e.direction == emulator::serial::Exchange::Direction::FromDevice) wire.insert(wire.end(), e.bytes.begin(), e.bytes.end());
  }
  EXPECT_EQ(wire, (std::vector<std::uint8_t>{0xA1, 0xB2, 0x00, 0xFF}));
  EXPECT_TRUE(messages.empty());

  window->SwitchMode(0);
  EXPECT_EQ(child<QPushButton>("serialOpenButton")->text(), "Open");
  const QString log = child<QTextEdit>("log")->toPlainText();
  EXPECT_TRUE(log.startsWith(QStringLiteral("--> Serial port closed!\n--> ")));
  // Sending now says why nothing goes.
  window->SwitchMode(3);
  child<QPushButton>("sendButton")->click();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Please open the serial port first.");
}

TEST_F(SerialPanel, APortThatWillNotOpenSaysSoAndStaysClosed) {
  open();
  panel()->selectPort("/dev/nonexistent-tty");
  child<QPushButton>("serialOpenButton")->click();
  EXPECT_EQ(child<QPushButton>("serialOpenButton")->text(), "Open");
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Failed to open the serial port.");
}

}  // namespace
