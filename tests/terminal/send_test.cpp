#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/texts.hpp"
#include "rig.hpp"
#include "tests/support/temp_home.hpp"

namespace {

using termtest::Rig;
using Bytes = std::vector<std::uint8_t>;
constexpr int kTimer = terminal::TerminalCore::kTimedSendTimer;

const std::string kOpenFirst = "Please open the serial port first.";
const std::string kNothing = "Please enter the content you want to send in the sending area.";

struct OpenRig : Rig {
  OpenRig() {
    base::setThreadLanguage(base::kLangEnglish);
    core.openPort();
    sink.logs.clear();
  }
  ~OpenRig() { base::setThreadLanguage(base::kLangChinese); }
};

TEST(Send, HexPairsWithOrWithoutBlanksSendTheSameBytes) {
  OpenRig r;
  r.core.applySettings({.hexSend = true});
  EXPECT_TRUE(r.core.send("A1 B2"));
  EXPECT_TRUE(r.core.send("A1B2"));
  ASSERT_EQ(r.port.writes.size(), 2u);
  EXPECT_EQ(r.port.writes[0], (Bytes{0xA1, 0xB2}));
  EXPECT_EQ(r.port.writes[1], (Bytes{0xA1, 0xB2}));
  EXPECT_EQ(r.sink.logs, (std::vector<std::string>{"--> A1 B2", "--> A1B2"}));
}

TEST(Send, BadHexShowsItsMessageAndSendsNothing) {
  OpenRig r;
  r.core.applySettings({.hexSend = true});
  EXPECT_FALSE(r.core.send("A 1"));
  EXPECT_FALSE(r.core.send("A1B"));
  EXPECT_TRUE(r.port.writes.empty());
  ASSERT_EQ(r.sink.messages.size(), 2u);
  EXPECT_EQ(r.sink.messages[0].text, "请按照16进制每2个字符一组的方式输入。");
  EXPECT_EQ(r.sink.messages[1].text, "请按照16进制字符要求输入。");
  EXPECT_EQ(r.sink.messages[1].caption, "Tip");
}

TEST(Send, EmptyOrClosedSendsNothingAndSaysWhy) {
  OpenRig r;
  EXPECT_FALSE(r.core.send(""));
  r.core.applySettings({.hexSend = true});
  EXPECT_FALSE(r.core.send("   "));
  r.core.closePort();
  EXPECT_FALSE(r.core.send("A1"));
  EXPECT_TRUE(r.port.writes.empty());
  ASSERT_EQ(r.sink.messages.size(), 3u);
  EXPECT_EQ(r.sink.messages[0].text, kNothing);
  EXPECT_EQ(r.sink.messages[1].text, kNothing);
  EXPECT_EQ(r.sink.messages[2].text, kOpenFirst);
}

TEST(Send, TextGoesWholeInOneWriteWhateverItsLength) {
  OpenRig r;
  const std::string text = "温度 " + std::string(3000, 'x');  // more than the port's 1024-byte buffer
  EXPECT_TRUE(r.core.send(text));
  ASSERT_EQ(r.port.writes.size(), 1u);
  EXPECT_EQ(r.port.writes[0], Bytes(text.begin(), text.end()));
}

TEST(HexSendToggle, ConvertsTheLineBothWays) {
  OpenRig r;
  EXPECT_EQ(r.core.setHexSend(true, "AB"), "41 42 ");
  EXPECT_TRUE(r.core.settings().hexSend);
  EXPECT_EQ(r.core.setHexSend(false, "41 42 0a"), "AB\n");
  EXPECT_FALSE(r.core.settings().hexSend);
  EXPECT_TRUE(r.sink.messages.empty());
  // A line that does not parse is emptied after its message.
  EXPECT_EQ(r.core.setHexSend(false, "4 1"), "");
  ASSERT_EQ(r.sink.messages.size(), 1u);
  EXPECT_EQ(r.sink.messages[0].text, "请按照16进制每2个字符一组的方式输入。");
}

TEST(OpenClose, LogsThePortAndRateAndSaysWhenItCannotOpen) {
  Rig r;
  base::setThreadLanguage(base::kLangEnglish);
  EXPECT_TRUE(r.core.openPort());
  EXPECT_TRUE(r.sink.portOpen);
  EXPECT_EQ(r.sink.logs, (std::vector<std::string>{"--> UartCOM=/dev/ttyUSB0", "--> UartBaudRate=115200 bps"}));
  r.core.toggleOpen();
  EXPECT_FALSE(r.port.opened);
  EXPECT_FALSE(r.sink.portOpen);

  r.port.canOpen = false;
  r.core.toggleOpen();
  EXPECT_FALSE(r.sink.portOpen);
  ASSERT_EQ(r.sink.messages.size(), 1u);
  EXPECT_EQ(r.sink.messages[0].text, "Failed to open the serial port.");

  r.port.pathText.clear();
  r.sink.messages.clear();
  const int opens = r.port.opens;
  r.core.toggleOpen();
  EXPECT_EQ(r.port.opens, opens);
  ASSERT_EQ(r.sink.messages.size(), 1u);
  EXPECT_EQ(r.sink.messages[0].text, "请选择正确的串口端口。");
  base::setThreadLanguage(base::kLangChinese);
}

TEST(TimedSend, TicksAtTheIntervalAndZeroIntervalsAreIgnored) {
  OpenRig r;
  ASSERT_TRUE(r.core.setSendInterval(100));
  EXPECT_FALSE(r.core.setSendInterval(0));
  r.core.setTimedSending(true, "hi");
  EXPECT_EQ(r.timers.interval(kTimer), base::Millis{100});
  r.timers.advance(base::Millis{350});
  EXPECT_EQ(r.port.writes.size(), 3u);
  // A new interval restarts the running timer.
  ASSERT_TRUE(r.core.setSendInterval(40));
  EXPECT_EQ(r.timers.interval(kTimer), base::Millis{40});
  r.timers.advance(base::Millis{100});
  EXPECT_EQ(r.port.writes.size(), 5u);
  r.core.setTimedSending(false, "hi");
  EXPECT_FALSE(r.timers.running(kTimer));
  r.timers.advance(base::Millis{1000});
  EXPECT_EQ(r.port.writes.size(), 5u);
}

TEST(TimedSend, OnAClosedPortOpensItAndClosingStopsIt) {
  Rig r;
  r.core.setTimedSending(true, "x");
  EXPECT_TRUE(r.port.opened);
  EXPECT_TRUE(r.timers.running(kTimer));
  r.core.toggleOpen();
  EXPECT_FALSE(r.timers.running(kTimer));
  EXPECT_FALSE(r.core.timedSending());
  EXPECT_EQ(r.sink.timedSend, std::vector<bool>{false});
  // Reopening does not restart what closing stopped.
  r.core.toggleOpen();
  EXPECT_FALSE(r.timers.running(kTimer));
}

TEST(TimedSend, ABadLineStopsAfterOneMessageNotOneEveryTick) {
  OpenRig r;
  r.core.applySettings({.hexSend = true});
  r.core.setTimedSending(true, "A 1");
  r.timers.advance(base::Millis{1000});
  EXPECT_EQ(r.sink.messages.size(), 1u);
  EXPECT_FALSE(r.core.timedSending());
  EXPECT_EQ(r.sink.timedSend, std::vector<bool>{false});

  r.core.setTimedSending(true, "");
  r.timers.advance(base::Millis{1000});
  ASSERT_EQ(r.sink.messages.size(), 2u);
  EXPECT_EQ(r.sink.messages[1].text, kNothing);
  EXPECT_FALSE(r.timers.running(kTimer));
}

TEST(TimedSend, APulledAdapterStopsTheSendsWithOneMessage) {
  OpenRig r;
  r.core.setTimedSending(true, "x");
  r.timers.advance(base::Millis{200});
  EXPECT_EQ(r.port.writes.size(), 2u);
  // The port's reader found the line gone.
  r.port.opened = false;
  r.port.error = true;
  r.core.onPortLost();
  r.timers.advance(base::Millis{2000});
  EXPECT_EQ(r.port.writes.size(), 2u);
  ASSERT_EQ(r.sink.messages.size(), 1u);
  EXPECT_EQ(r.sink.messages[0].text, "串口通信出错");
  EXPECT_FALSE(r.sink.portOpen);
  EXPECT_FALSE(r.core.timedSending());
}

TEST(TimedSend, AnErrorMarkSetByThePortStopsTheTicks) {
  OpenRig r;
  r.core.setTimedSending(true, "x");
  r.port.error = true;
  r.timers.advance(base::Millis{500});
  EXPECT_TRUE(r.port.writes.empty());
  EXPECT_FALSE(r.core.timedSending());
  EXPECT_TRUE(r.sink.messages.empty());
}

TEST(AutoReopen, OpensTheSamePathAgainOnceTheAdapterIsBack) {
  OpenRig r;
  r.core.onPortLost();
  r.timers.advance(base::Millis{2000});
  EXPECT_EQ(r.port.opens, 1);  // off by default: no tries

  r.core.setAutoReopen(true);
  r.core.openPort();
  r.port.opened = false;
  r.core.onPortLost();
  r.port.canOpen = false;
  r.timers.advance(base::Millis{1600});
  EXPECT_FALSE(r.sink.portOpen);
  const int tries = r.port.opens;
  EXPECT_GE(tries, 4);
  r.port.canOpen = true;
  r.timers.advance(base::Millis{500});
  EXPECT_TRUE(r.sink.portOpen);
  EXPECT_TRUE(r.port.opened);
  EXPECT_FALSE(r.timers.running(terminal::TerminalCore::kReopenTimer));
  // One message per loss, none for the quiet tries.
  EXPECT_EQ(r.sink.messages.size(), 2u);
  // Closing by hand while waiting ends the waiting.
  r.port.opened = false;
  r.core.onPortLost();
  r.core.closePort();
  EXPECT_FALSE(r.timers.running(terminal::TerminalCore::kReopenTimer));
}

TEST(SaveData, WritesTheHexPairsAsShownUnderTheTimeNamedFile) {
  testsupport::TempHome home;
  OpenRig r;
  r.core.setHexDisplay(true);
  r.receive({0x01, 0xAB, 0x20});
  r.clock.time = {2026, 3, 7, 9, 5, 4, 12};
  const auto file = r.core.saveReceived(home.path());
  ASSERT_TRUE(file);
  EXPECT_EQ(file->filename(), "uart_rx_data_save_2026- 3- 7- 9- 5- 4 12.txt");
  EXPECT_EQ(r.sink.saved, *file);
  EXPECT_EQ(r.sink.logs.back(), "--> strPath " + file->string());
  std::ifstream in(*file, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "01 AB 20 ");
  EXPECT_EQ(content.str(), r.sink.pane);
}

TEST(SaveData, AFolderThatCannotBeWrittenSaysSo) {
  OpenRig r;
  r.receiveText("x");
  EXPECT_FALSE(r.core.saveReceived("/nonexistent-folder/deeper"));
  ASSERT_EQ(r.sink.messages.size(), 1u);
  EXPECT_EQ(r.sink.messages[0].text, "Save failed. Cannot write to the file.");
}

TEST(Log, AppendsEveryReceivedByteAsItCame) {
  testsupport::TempHome home;
  OpenRig r;
  r.core.setHexDisplay(true);
  const auto file = home.path() / "rx.bin";
  ASSERT_TRUE(r.core.startLog(file));
  r.receive({0x00, 0x0A, 0xFF});
  r.core.stopLog();
  r.receive({0x01});
  std::ifstream in(file, std::ios::binary);
  const std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(content, std::string("\x00\x0A\xFF", 3));
}

}  // namespace
