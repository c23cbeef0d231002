// The serial touch link on a fake port and a manual clock: the link steps and their bytes, the
// button states, the board's frames into the table, the receiver's reset rules, and the failures
// (no acknowledgement, a refused chip, a port that will not open, an adapter pulled).
#include <gtest/gtest.h>

#include <algorithm>

#include "base/manual_timers.hpp"
#include "base/texts.hpp"
#include "tests/touch/recorder.hpp"
#include "touch/serial_transport.hpp"
#include "touch/session.hpp"

namespace {

using touch::ButtonStates;
using touch::LinkBytes;

class FakeLink final : public touch::SerialLink {
 public:
  void setPort(std::string name) override { port = std::move(name); }
  bool open(std::uint32_t baud) override {
    opens.push_back(baud);
    isOpen_ = !refuseOpen;
    return isOpen_;
  }
  void close() override {
    isOpen_ = false;
    ++closes;
  }
  bool isOpen() const override { return isOpen_; }
  bool send(std::span<const std::uint8_t> frame) override {
    sent.emplace_back(frame.begin(), frame.end());
    return isOpen_;
  }
  bool hasError() const override { return error; }
  void clearError() override { error = false; }

  std::string port;
  std::vector<std::uint32_t> opens;
  std::vector<LinkBytes> sent;
  int closes = 0;
  bool refuseOpen = false;
  bool error = false;

 private:
  bool isOpen_ = false;
};

LinkBytes bytes(std::initializer_list<std::uint8_t> b) { return LinkBytes(b); }
LinkBytes cmd(const std::array<std::uint8_t, 4>& c) { return LinkBytes(c.begin(), c.end()); }

// n triples (index, value) as a value frame's data.
LinkBytes triples(std::initializer_list<std::pair<std::uint8_t, std::uint16_t>> values) {
  LinkBytes d{static_cast<std::uint8_t>(values.size())};
  for (auto [i, v] : values) {
    d.push_back(i);
    d.push_back(static_cast<std::uint8_t>(v >> 8));
    d.push_back(static_cast<std::uint8_t>(v));
  }
  return d;
}

struct Rig {
  Rig() {
    base::setThreadLanguage(base::kLangEnglish);
    auto owned = std::make_unique<touch::SerialTransport>(link, timers, sink);
    serial = owned.get();
    session.selectPort("/dev/ttyFAKE0");
    session.setSerialTransport(std::move(owned));
    timers.setHandler([this](int id) { session.onTimer(id); });
  }
  void feed(const LinkBytes& b) {
    for (std::uint8_t x : b) serial->onByte(x);
  }
  void frame(std::uint8_t type, const LinkBytes& data) { feed(touch::boardFrame(type, data)); }
  void tick() { timers.advance(touch::kLinkTick); }
  // Connect, both acknowledgements, the channel count and list: the chip is linked and running.
  void linkChip(std::uint8_t count = 3, LinkBytes numbers = {3, 12, 7}) {
    session.pressConnect();
    frame(touch::TOUCH_ACK, {0});
    tick();
    frame(touch::TOUCH_ACK, {0});
    tick();
    ASSERT_TRUE(serial->chipConnected());
    frame(touch::TOUCH_CHANNEL_COUNT, {count});
    numbers.insert(numbers.begin(), static_cast<std::uint8_t>(numbers.size()));
    frame(touch::TOUCH_CHANNEL_LIST, numbers);
  }
  std::vector<std::string> logTexts() const {
    std::vector<std::string> out;
    for (const auto& l : sink.lines) out.push_back(l.text);
    return out;
  }

  FakeLink link;
  base::ManualTimers timers;
  touchtest::Recorder sink;
  touch::TouchSession session{timers, sink, {}};
  touch::SerialTransport* serial = nullptr;
};

const std::string kOpening = "--> The serial port is open and is being connected to the debugging board...";
const std::string kBoardLinked = "--> The QUBRIX Tool has been connected and is being connected to the target mcu...";
const std::string kChipLinked = "--> The target chip has been connected and data is being read...";
const std::string kExiting = "--> Exiting the connection...";
const std::string kClosed = "--> The connection has been disconnected and the serial port is closed!";

TEST(TouchSerialLink, ConnectRunStopAndDisconnectSendTheirBytesAndSetTheButtons) {
  Rig rig;
  EXPECT_EQ(rig.link.port, "/dev/ttyFAKE0");
  rig.session.pressConnect();
  EXPECT_EQ(rig.timers.waits(), (std::vector<base::Millis>{base::Millis{10}}));
  EXPECT_EQ(rig.link.opens, (std::vector<std::uint32_t>{1200}));
  EXPECT_EQ(rig.link.sent, (std::vector<LinkBytes>{bytes({0x55, 0x01, 0x11, 0x10})}));
  EXPECT_EQ(rig.serial->step(), touch::TOUCH_APP_LINK_TOOL);
  EXPECT_EQ(rig.timers.interval(touch::kLinkTimerId), base::Millis{10});

  rig.frame(touch::TOUCH_ACK, {0});
  EXPECT_EQ(rig.serial->ackRecFlag(), touch::kAckSuccess);
  rig.timers.clearWaits();
  rig.tick();
  // Closed, 100 ms for the reader, 10 ms, reopened at the data rate.
  EXPECT_EQ(rig.link.closes, 1);
  EXPECT_EQ(rig.timers.waits(), (std::vector<base::Millis>{base::Millis{100}, base::Millis{10}}));
  EXPECT_EQ(rig.link.opens, (std::vector<std::uint32_t>{1200, 115200}));
  EXPECT_EQ(rig.serial->step(), touch::TOUCH_APP_LINK_CHIP);

  rig.frame(touch::TOUCH_ACK, {0});
  rig.tick();
  EXPECT_TRUE(rig.serial->chipConnected());
  EXPECT_FALSE(rig.timers.running(touch::kLinkTimerId));
  EXPECT_EQ(rig.serial->step(), touch::TOUCH_APP_IDLE);
  EXPECT_EQ(rig.sink.buttons, (ButtonStates{.connect = false, .connectSaysDisconnect = true, .run = false, .stop = true, .save = true, .portBox = false}));
  EXPECT_EQ(rig.logTexts(), (std::vector<std::string>{kOpening, kBoardLinked, kChipLinked}));

  rig.link.sent.clear();
  rig.timers.advance(base::Millis{200});
  EXPECT_EQ(rig.link.sent, (std::vector<LinkBytes>{cmd(touch::TOUCH_CMD_POLL), cmd(touch::TOUCH_CMD_POLL)}));

  rig.link.sent.clear();
  rig.session.pressStop();
  EXPECT_EQ(rig.sink.buttons, (ButtonStates{.connect = true, .connectSaysDisconnect = true, .run = true, .stop = false, .save = true, .portBox = false}));
  rig.session.pressRun();
  EXPECT_EQ(rig.sink.buttons, (ButtonStates{.connect = false, .connectSaysDisconnect = true, .run = false, .stop = true, .save = true, .portBox = false}));
  rig.session.pressStop();
  rig.session.pressConnect();
  EXPECT_EQ(rig.link.sent, (std::vector<LinkBytes>{bytes({0x55, 0x01, 0x05, 0x04}), bytes({0x55, 0x01, 0x04, 0x05}),
                                                   bytes({0x55, 0x01, 0x05, 0x04}), bytes({0x55, 0x01, 0x22, 0x23})}));
  EXPECT_EQ(rig.serial->step(), touch::TOUCH_APP_EXIT);
  rig.tick();
  EXPECT_FALSE(rig.session.active());
  EXPECT_FALSE(rig.serial->chipConnected());
  EXPECT_FALSE(rig.timers.running(touch::kKeepAliveTimerId));
  EXPECT_EQ(rig.link.closes, 2);
  EXPECT_EQ(rig.sink.buttons, ButtonStates{});
  EXPECT_EQ(rig.logTexts().back(), kClosed);
  EXPECT_EQ(rig.logTexts()[rig.logTexts().size() - 2], kExiting);
}

TEST(TouchSerialLink, BoardValuesFillTheTableByChannelNumber) {
  Rig rig;
  // Channel 12 listed twice: the second index shows in the first row with that number.
  rig.linkChip(4, {3, 12, 7, 12});
  EXPECT_EQ(rig.sink.grid.at(0, 0).text, "TP3");
  EXPECT_EQ(rig.sink.grid.at(0, 6).text, "TP12");
  EXPECT_EQ(rig.sink.grid.at(1, 0).text, "TP7");
  rig.frame(touch::TOUCH_BASELINE, triples({{0, 2000}, {1, 1500}, {3, 1800}}));
  rig.frame(touch::TOUCH_CURRENT, triples({{0, 1900}, {1, 1600}}));
  rig.frame(touch::TOUCH_THRESHOLD, triples({{2, 1234}}));
  EXPECT_EQ(rig.sink.grid.at(0, 1).text, "1900");
  EXPECT_EQ(rig.sink.grid.at(0, 2).text, "2000");
  EXPECT_EQ(rig.sink.grid.at(0, 3).text, "100");
  EXPECT_EQ(rig.sink.grid.at(0, 8).text, "1800");
  EXPECT_EQ(rig.sink.grid.at(0, 9).text, "200");
  EXPECT_EQ(rig.sink.grid.at(1, 4).text, "1234");
  EXPECT_EQ(rig.sink.grid.at(1, 6).text, "TP12");
  EXPECT_EQ(rig.sink.grid.at(1, 8).text, "0");
  EXPECT_EQ(rig.sink.samples, 1);
  EXPECT_EQ(rig.serial->model().currents[0], 1900);

  rig.frame(touch::TOUCH_REF_BASELINE, {0x03, 0xE8});
  rig.frame(touch::TOUCH_REF_CURRENT, {0x03, 0xE0});
  EXPECT_EQ(rig.sink.grid.at(2, 0).text, "TP_REF");
  EXPECT_EQ(rig.sink.grid.at(2, 3).text, "8");

  // Stopped: value frames are not shown.
  rig.session.pressStop();
  const int writes = rig.sink.grid.writes;
  rig.frame(touch::TOUCH_CURRENT, triples({{0, 1}}));
  rig.frame(touch::TOUCH_KEY_FLAGS, {0, 0, 0, 1});
  EXPECT_EQ(rig.sink.grid.writes, writes);
}

TEST(TouchSerialLink, KeyFlagsCarrySixBytesAbove32ChannelsAndFourUpTo32) {
  struct Case {
    std::uint8_t count;
    LinkBytes data;
    std::uint64_t flags;
  };
  const Case cases[] = {
      {33, {0x00, 0x01, 0x80, 0x00, 0x00, 0x01}, 0x0000'0001'8000'0001ULL},
      {32, {0x80, 0x00, 0x00, 0x01}, 0x8000'0001ULL},
      // Two bytes too many for 32 channels: the first four are the low word.
      {32, {0x00, 0x01, 0x80, 0x00, 0x00, 0x01}, 0x0001'8000ULL},
      // Too short for 33 channels: dropped.
      {33, {0x80, 0x00, 0x00, 0x01}, 0},
  };
  for (const Case& c : cases) {
    Rig rig;
    LinkBytes numbers(c.count);
    for (std::size_t i = 0; i < numbers.size(); ++i) numbers[i] = static_cast<std::uint8_t>(i);
    rig.linkChip(c.count, numbers);
    rig.frame(touch::TOUCH_KEY_FLAGS, c.data);
    EXPECT_EQ(rig.serial->model().keyFlags, c.flags) << int{c.count};
    EXPECT_EQ(rig.sink.grid.at(0, 0).background == touch::kTriggeredRed, (c.flags & 1) != 0) << int{c.count};
  }
}

TEST(TouchSerialLink, ABadChecksumLeavesTheTableAndTheNextFrameMustStartAtOnce) {
  Rig rig;
  rig.linkChip();
  LinkBytes bad = touch::boardFrame(touch::TOUCH_CURRENT, triples({{0, 500}}));
  bad.back() ^= 1;
  const int writes = rig.sink.grid.writes;
  rig.feed(bad);
  EXPECT_EQ(rig.sink.grid.writes, writes);
  // A frame right behind it is taken whole; one whose start byte was lost is not.
  rig.frame(touch::TOUCH_CURRENT, triples({{0, 600}}));
  EXPECT_EQ(rig.sink.grid.at(0, 1).text, "600");
  LinkBytes headless = touch::boardFrame(touch::TOUCH_CURRENT, triples({{0, 700}}));
  headless.erase(headless.begin());
  rig.feed(headless);
  EXPECT_EQ(rig.sink.grid.at(0, 1).text, "600");
  rig.frame(touch::TOUCH_CURRENT, triples({{0, 800}}));
  EXPECT_EQ(rig.sink.grid.at(0, 1).text, "800");
}

TEST(TouchSerialLink, AValueIndexBeyondTheListHasNoRow) {
  Rig rig;
  // The count says 5, the list holds 3: index 3 and 4 are beyond the list, 9 beyond both.
  rig.linkChip(5, {3, 12, 7});
  const auto rows = rig.sink.grid.rows;
  rig.frame(touch::TOUCH_CURRENT, triples({{3, 100}, {4, 100}, {9, 100}}));
  rig.frame(touch::TOUCH_THRESHOLD, triples({{200, 100}}));
  EXPECT_EQ(rig.sink.grid.rowCount(), static_cast<int>(rows.size()));
  for (std::size_t r = 0; r < rows.size(); ++r) {
    for (std::size_t c = 0; c < rows[r].size(); ++c) EXPECT_EQ(rig.sink.grid.rows[r][c].text, rows[r][c].text);
  }
  rig.session.thresholdEdited(3, "50");
  EXPECT_TRUE(std::none_of(rig.link.sent.begin(), rig.link.sent.end(), [](const LinkBytes& b) { return b.size() == 7; }));
}

TEST(TouchSerialLink, ThresholdEditsSendTheirFrameAndReachTheExport) {
  Rig rig;
  rig.linkChip(2, {3, 12});
  rig.link.sent.clear();
  rig.session.thresholdEdited(1, "1500");
  rig.session.thresholdEdited(0, "80");
  EXPECT_EQ(rig.link.sent, (std::vector<LinkBytes>{bytes({0x55, 0x04, 0x03, 0x01, 0x05, 0xDC, 0x07 ^ 0x01 ^ 0x05 ^ 0xDC}),
                                                   bytes({0x55, 0x04, 0x03, 0x00, 0x00, 0x50, 0x07 ^ 0x50})}));
  const auto table = rig.serial->exportTable();
  ASSERT_TRUE(table.has_value());
  EXPECT_EQ(table->numbers, (std::vector<std::uint8_t>{3, 12}));
  EXPECT_EQ(table->thresholds, (std::vector<std::uint16_t>{80, 1500}));
}

TEST(TouchSerialLink, AnAcknowledgementOutsideALinkStepChangesNothing) {
  Rig rig;
  rig.linkChip();
  const auto buttons = rig.sink.buttons;
  const auto lines = rig.sink.lines.size();
  rig.frame(touch::TOUCH_ACK, {0});
  rig.frame(touch::TOUCH_ACK, {1});
  rig.timers.advance(base::Millis{50});
  EXPECT_EQ(rig.serial->ackRecFlag(), touch::kAckNone);
  EXPECT_EQ(rig.serial->step(), touch::TOUCH_APP_IDLE);
  EXPECT_EQ(rig.sink.buttons, buttons);
  EXPECT_EQ(rig.sink.lines.size(), lines);
  EXPECT_TRUE(rig.serial->chipConnected());
}

TEST(TouchSerialLink, WithoutAnAcknowledgementSupervisionStopsAfter100TicksSilently) {
  for (const bool inChipStep : {false, true}) {
    Rig rig;
    rig.session.pressConnect();
    if (inChipStep) {
      rig.frame(touch::TOUCH_ACK, {0});
      rig.tick();
    }
    const auto lines = rig.sink.lines.size();
    int ticks = 0;
    while (rig.timers.running(touch::kLinkTimerId) && ticks < 1000) {
      rig.timers.fireNext();
      ++ticks;
    }
    EXPECT_EQ(ticks, 101);
    EXPECT_EQ(rig.serial->step(), inChipStep ? touch::TOUCH_APP_LINK_CHIP : touch::TOUCH_APP_IDLE);
    EXPECT_EQ(rig.sink.lines.size(), lines);
    EXPECT_TRUE(rig.sink.messages.empty());
    // The port stays open: Connect ends the link.
    rig.session.pressConnect();
    rig.tick();
    EXPECT_FALSE(rig.session.active());
    EXPECT_FALSE(rig.link.isOpen());
  }
}

TEST(TouchSerialLink, ARefusedChipClosesThePort) {
  Rig rig;
  rig.session.pressConnect();
  rig.frame(touch::TOUCH_ACK, {0});
  rig.tick();
  rig.frame(touch::TOUCH_ACK, {7});
  rig.tick();
  EXPECT_FALSE(rig.link.isOpen());
  EXPECT_FALSE(rig.session.active());
  EXPECT_EQ(rig.sink.buttons, ButtonStates{});
  EXPECT_EQ(rig.sink.errors().back(), "--> " + base::text("touch.chip_not_connected"));
}

TEST(TouchSerialLink, APortThatWillNotOpenSaysSoAndLeavesTheLinkInactive) {
  Rig rig;
  rig.link.refuseOpen = true;
  rig.session.pressConnect();
  EXPECT_EQ(rig.sink.messages, (std::vector<std::string>{"Tip: Failed to open the serial port."}));
  EXPECT_FALSE(rig.session.active());
  EXPECT_TRUE(rig.link.sent.empty());
  EXPECT_EQ(rig.sink.buttons, ButtonStates{});
}

TEST(TouchSerialLink, APortErrorIsFirstAcknowledgedThenConnectOpens) {
  Rig rig;
  rig.link.error = true;
  rig.session.pressConnect();
  EXPECT_TRUE(rig.link.opens.empty());
  EXPECT_FALSE(rig.link.error);
  rig.session.pressConnect();
  EXPECT_EQ(rig.link.opens, (std::vector<std::uint32_t>{1200}));
}

TEST(TouchSerialLink, AnAdapterPulledMidSessionEndsTheLinkAndConnectWorksAgain) {
  Rig rig;
  rig.linkChip();
  rig.frame(touch::TOUCH_CURRENT, triples({{0, 600}}));
  rig.link.error = true;
  rig.serial->onPortError();
  EXPECT_FALSE(rig.session.active());
  EXPECT_FALSE(rig.timers.running(touch::kKeepAliveTimerId));
  EXPECT_EQ(rig.logTexts().back(), kClosed);
  // Bytes still on their way are not taken.
  rig.frame(touch::TOUCH_CURRENT, triples({{0, 700}}));
  EXPECT_EQ(rig.sink.grid.at(0, 1).text, "600");
  rig.link.opens.clear();
  rig.session.pressConnect();
  EXPECT_EQ(rig.link.opens, (std::vector<std::uint32_t>{1200}));
  EXPECT_TRUE(rig.session.active());
}

TEST(TouchSerialLink, LeavingTheModePowerCyclesTheTargetAndClosesTheLink) {
  for (const bool chipLinked : {true, false}) {
    Rig rig;
    if (chipLinked) {
      rig.linkChip();
    } else {
      rig.session.pressConnect();
    }
    rig.link.sent.clear();
    rig.timers.clearWaits();
    rig.session.endForModeChange();
    EXPECT_EQ(rig.link.sent, (std::vector<LinkBytes>{cmd(touch::PowerCycleTarget)}));
    EXPECT_EQ(rig.timers.waits().front(), base::Millis{10});
    EXPECT_FALSE(rig.link.isOpen());
    EXPECT_FALSE(rig.session.active());
    EXPECT_FALSE(rig.timers.running(touch::kLinkTimerId));
    EXPECT_FALSE(rig.timers.running(touch::kKeepAliveTimerId));
  }
}

TEST(TouchSerialLink, SavingWithoutALinkWritesNothing) {
  Rig rig;
  EXPECT_FALSE(rig.serial->exportTable().has_value());
  EXPECT_FALSE(rig.session.saveTo(std::filesystem::temp_directory_path() / "never-written.TXT"));
}

// The receiver alone: which byte streams give a frame.
TEST(TouchFrameParser, TakesOnlyWholeFramesAndResetsOnEveryRuleBroken) {
  struct Case {
    const char* what;
    LinkBytes stream;
    std::vector<LinkBytes> data;  // of the frames returned
  };
  const Case cases[] = {
      {"ack", {0xAA, 0x02, 0x80, 0x00, 0x82}, {{0x00}}},
      {"leading noise skipped", {0x13, 0x00, 0xAA, 0x02, 0x80, 0x05, 0x87}, {{0x05}}},
      {"LEN 1 still takes a byte", {0xAA, 0x01, 0x89, 0x42, 0x01 ^ 0x89 ^ 0x42}, {{0x42}}},
      {"LEN 0 still takes a byte", {0xAA, 0x00, 0x89, 0x42, 0x89 ^ 0x42}, {{0x42}}},
      {"LEN over 250: the next byte may start a frame", {0xAA, 0xFB, 0xAA, 0x02, 0x80, 0x00, 0x82}, {{0x00}}},
      {"LEN over 250: its body is skipped", {0xAA, 0xFB, 0x84, 0x00, 0x00, 0xAA, 0x02, 0x80, 0x00, 0x82}, {{0x00}}},
      {"type below 0x80", {0xAA, 0x02, 0x7F, 0xAA, 0x02, 0x80, 0x00, 0x82}, {{0x00}}},
      {"type above 0xA0", {0xAA, 0x02, 0xA1, 0x00, 0xA3, 0xAA, 0x02, 0x80, 0x00, 0x82}, {{0x00}}},
      {"bad checksum then a frame", {0xAA, 0x02, 0x80, 0x00, 0x83, 0xAA, 0x02, 0x80, 0x01, 0x83}, {{0x01}}},
  };
  for (const Case& c : cases) {
    touch::BoardFrameParser parser;
    std::vector<LinkBytes> got;
    for (std::uint8_t b : c.stream) {
      if (auto f = parser.feed(b)) got.push_back(f->data);
    }
    EXPECT_EQ(got, c.data) << c.what;
  }
  // The longest frame fits; the buffer is empty after it.
  touch::BoardFrameParser parser;
  const LinkBytes longest = touch::boardFrame(touch::TOUCH_CURRENT, LinkBytes(249, 0x11));
  std::optional<touch::BoardFrame> last;
  for (std::uint8_t b : longest) last = parser.feed(b);
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->data.size(), 249U);
  EXPECT_EQ(parser.buffered(), 0U);
}

}  // namespace
