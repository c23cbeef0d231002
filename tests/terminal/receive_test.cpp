#include <gtest/gtest.h>

#include <algorithm>

#include "rig.hpp"

namespace {

using termtest::Rig;
using Bytes = std::vector<std::uint8_t>;

std::size_t linesOf(const std::string& pane) { return static_cast<std::size_t>(std::count(pane.begin(), pane.end(), '\n')) + 1; }

TEST(DisplayForm, HexPairsOrTheCharactersThemselves) {
  Rig r;
  r.core.setHexDisplay(true);
  r.receive({0x00, 0x41, 0xFF});
  EXPECT_EQ(r.sink.pane, "00 41 FF ");
  EXPECT_EQ(r.core.receivedText(), "00 41 FF ");
  EXPECT_EQ(r.core.receivedCount(), 3u);

  r.core.setHexDisplay(false);
  EXPECT_EQ(r.sink.pane, "");
  EXPECT_EQ(r.core.receivedCount(), 0u);
  r.receiveText("ok\r\n\tA");
  EXPECT_EQ(r.sink.pane, "ok\r\n\tA");
}

TEST(DisplayForm, BinaryBytesAndNulNeverReachThePaneRaw) {
  Rig r;
  r.receive({'a', 0x00, 0x1B, 0x7F, 0xFF, 'b'});
  // Control pictures for NUL, ESC and DEL, the replacement character for a byte that is no UTF-8.
  EXPECT_EQ(r.sink.pane, "a\u2400\u241B\u2421\uFFFDb");
  EXPECT_EQ(r.core.receivedCount(), 6u);
}

TEST(DisplayForm, AUtf8CharacterSplitOverTwoChunksStaysWhole) {
  Rig r;
  const std::string text = "温度";
  r.receive({static_cast<std::uint8_t>(text[0])});
  r.receive(Bytes(text.begin() + 1, text.end()));
  EXPECT_EQ(r.sink.pane, text);
  // A broken sequence shows one replacement and the byte after it as itself.
  r.core.clear();
  r.receive({0xE6, 'x'});
  EXPECT_EQ(r.sink.pane, "\uFFFDx");
}

TEST(PacketDisplay, TheTimeoutIsMeasuredFromThePacketsFirstByte) {
  Rig r;
  r.core.setHexDisplay(true);
  r.core.setPacketDisplay(true);
  ASSERT_TRUE(r.core.setPacketTimeout(50));
  r.receive({0x01});
  // A steady stream, 20 ms apart: 0, 20, 40 stay in the packet; 60 is at or past 50 from its start.
  r.receive({0x02}, 20);
  r.receive({0x03}, 20);
  r.receive({0x04}, 20);
  r.receive({0x05}, 30);   // 30 after the packet began at 60
  r.receive({0x06}, 20);   // 50: exactly the timeout starts a new one
  EXPECT_EQ(r.sink.pane,
            "\n[09:05:59.990]收<-- 01 02 03 "
            "\n[09:06:00.050]收<-- 04 05 "
            "\n[09:06:00.100]收<-- 06 ");
  ASSERT_EQ(r.sink.headers.size(), 3u);
  // Headers are red runs of their own; the received text has the bytes only.
  EXPECT_EQ(r.sink.headers[0], "\n[09:05:59.990]收<-- ");
  EXPECT_EQ(r.core.receivedText(), "01 02 03 04 05 06 ");
}

TEST(PacketDisplay, AGapOfAMinuteOrMoreStillStartsAPacket) {
  Rig r;
  r.core.setPacketDisplay(true);
  r.receiveText("a");
  r.receiveText("b", 60'010);  // the seconds and milliseconds alone would say 10 ms
  r.receiveText("c", 3'600'000);
  EXPECT_EQ(r.sink.headers.size(), 3u);
}

TEST(PacketDisplay, OneChunkAtOneTimeIsOnePacketAndOneDisplayCall) {
  Rig r;
  r.core.setHexDisplay(true);
  r.core.setPacketDisplay(true);
  r.receive(Bytes(300, 0x55));
  EXPECT_EQ(r.sink.headers.size(), 1u);
  EXPECT_EQ(r.sink.displayCalls, 2);  // the clear of the hex toggle, then the chunk
}

TEST(BytesPerLine, SixteenPairsPerLineInHexDisplayOnly) {
  Rig r;
  r.core.setHexDisplay(true);
  ASSERT_TRUE(r.core.setBytesPerLine(16));
  Bytes bytes(40);
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<std::uint8_t>(i);
  r.receive(bytes);
  std::vector<std::string> lines;
  std::size_t start = 0;
  for (std::size_t nl; (nl = r.sink.pane.find('\n', start)) != std::string::npos; start = nl + 1) {
    lines.push_back(r.sink.pane.substr(start, nl - start));
  }
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "00 01 02 03 04 05 06 07 08 09 0A 0B 0C 0D 0E 0F ");
  EXPECT_EQ(lines[1].size(), 16u * 3);
  EXPECT_EQ(r.sink.pane.substr(start), "20 21 22 23 24 25 26 27 ");

  r.core.setHexDisplay(false);
  r.receiveText(std::string(40, 'x'));
  EXPECT_EQ(r.sink.pane, std::string(40, 'x'));
}

TEST(BytesPerLine, ChangingItClearsAndNegativeIsRefused) {
  Rig r;
  r.core.setHexDisplay(true);
  r.receive({1, 2});
  EXPECT_TRUE(r.core.setBytesPerLine(0));
  EXPECT_EQ(r.sink.pane, "");
  EXPECT_EQ(r.core.receivedCount(), 0u);
  EXPECT_FALSE(r.core.setBytesPerLine(-1));
}

TEST(LineLimits, FiveHundredLinesClearOnlyWithAutoClear) {
  const std::string notice = "***The Length of the Text is  500, Emptied Automaticly!!!***\r\n";
  Rig off;
  off.receiveText(std::string(600, '\n'));
  EXPECT_EQ(linesOf(off.sink.pane), 601u);

  Rig on;
  on.core.setAutoClear(true);
  on.receiveText(std::string(498, '\n'));
  EXPECT_EQ(linesOf(on.sink.pane), 499u);
  on.receiveText("\nab");
  // The clear comes right after the byte that made the 500th line; what follows is kept.
  EXPECT_EQ(on.sink.pane, notice + "ab");
  EXPECT_EQ(on.core.receivedText(), notice + "ab");
  EXPECT_EQ(on.core.receivedCount(), 2u);
}

TEST(LineLimits, MoreThanTenThousandLinesClearAlways) {
  const std::string notice = "***The Length of the Text is too long, Emptied Automaticly!!!***\r\n";
  Rig r;
  r.receiveText(std::string(9'999, '\n'));
  EXPECT_EQ(linesOf(r.sink.pane), 10'000u);
  r.receiveText("\nx");
  EXPECT_EQ(r.sink.pane, notice + "x");
  EXPECT_EQ(r.core.receivedText(), notice + "x");
}

TEST(LineLimits, AStreamWithoutLineFeedsIsClearedBeforeItGrowsWithoutBound) {
  Rig r;
  r.core.setHexDisplay(true);
  const Bytes chunk(64 * 1024, 0xA5);
  for (int i = 0; i < 40; ++i) r.receive(chunk);
  EXPECT_LE(r.sink.pane.size(), terminal::ReceiveDisplay::kMaxTextBytes);
  EXPECT_EQ(r.sink.pane.rfind("***The Length of the Text is too long", 0), 0u);
}

TEST(Options, ZeroTimeoutIsIgnoredAndPacketsOffDropsTheCount) {
  Rig r;
  EXPECT_TRUE(r.core.setPacketTimeout(80));
  EXPECT_FALSE(r.core.setPacketTimeout(0));
  EXPECT_EQ(r.core.settings().packetTimeoutMs, 80);
  r.core.setPacketDisplay(true);
  r.receiveText("abc");
  r.core.setPacketDisplay(false);
  EXPECT_EQ(r.core.receivedCount(), 0u);
  EXPECT_EQ(r.core.receivedText(), "abc");
}

}  // namespace
