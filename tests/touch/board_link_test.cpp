// The serial touch link end to end: the session on an event loop, the port on a pseudo-terminal and
// the emulated touch board behind it, in real time. The host's frames are asserted byte for byte
// against the board's exchange log.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "base/event_loop.hpp"
#include "base/texts.hpp"
#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/touch_board.hpp"
#include "tests/touch/recorder.hpp"
#include "touch/export.hpp"
#include "touch/loop_port_sink.hpp"
#include "touch/port_link.hpp"
#include "touch/serial_transport.hpp"
#include "touch/session.hpp"

namespace {

namespace es = emulator::serial;
using touch::LinkBytes;

constexpr int kDeadlineTimer = 50;
constexpr int kCheckTimer = 51;
constexpr base::Millis kBound{10000};

struct BoardRig {
  explicit BoardRig(es::TouchBoardConfig config = {}, es::TouchBoardFaults faults = {})
      : host(std::make_unique<es::TouchBoard>(config, faults)) {
    base::setThreadLanguage(base::kLangEnglish);
    EXPECT_TRUE(host.start());
    auto owned = std::make_unique<touch::SerialTransport>(link, loop, sink);
    serial = owned.get();
    portSink.attach(serial);
    session.selectPort(host.path());
    session.setSerialTransport(std::move(owned));
    loop.setTimerHandler([this](int id) {
      if (id == kDeadlineTimer || (id == kCheckTimer && until_ && until_())) {
        loop.quit();
        return;
      }
      session.onTimer(id);
    });
  }
  ~BoardRig() { portSink.attach(nullptr); }

  bool runUntil(std::function<bool()> done, base::Millis bound = kBound) {
    until_ = std::move(done);
    loop.start(kDeadlineTimer, bound);
    loop.start(kCheckTimer, base::Millis{5});
    loop.run();
    loop.stop(kDeadlineTimer);
    loop.stop(kCheckTimer);
    return until_();
  }
  void runFor(base::Millis time) {
    runUntil([] { return false; }, time);
  }
  std::vector<LinkBytes> requestsBut(std::uint8_t skipped) const {
    std::vector<LinkBytes> out;
    for (const auto& r : host.requests()) {
      if (r.size() > 2 && r[2] != skipped) out.emplace_back(r.begin(), r.end());
    }
    return out;
  }
  bool valuesShown() const { return serial->model().count > 0 && serial->model().currents[0] != 0; }

  es::PtyHost host;
  base::EventLoop loop;
  touchtest::Recorder sink;
  touch::LoopPortSink portSink{loop, sink};
  isp::CSerialPort port;
  touch::PortLink link{port, portSink};
  touch::TouchSession session{loop, sink, {}};
  touch::SerialTransport* serial = nullptr;

 private:
  std::function<bool()> until_;
};

LinkBytes cmd(const std::array<std::uint8_t, 4>& c) { return LinkBytes(c.begin(), c.end()); }

TEST(TouchBoardLink, LinksRunsStopsWritesAThresholdAndExports) {
  BoardRig rig(es::TouchBoardConfig{.channels = 12});
  rig.session.pressConnect();
  ASSERT_TRUE(rig.runUntil([&] { return rig.serial->chipConnected(); }));
  ASSERT_TRUE(rig.runUntil([&] { return rig.valuesShown(); }));
  EXPECT_EQ(rig.sink.grid.at(0, 0).text, "TP0");
  EXPECT_EQ(rig.sink.grid.at(5, 6).text, "TP11");
  EXPECT_NE(rig.sink.grid.at(0, 1).text, "0");
  EXPECT_GT(rig.sink.samples, 0);
  EXPECT_EQ(rig.port.CurrentBaud(), 115200U);

  rig.session.thresholdEdited(11, "1500");
  rig.session.pressStop();
  rig.runUntil([&] {
    bool stopped = false;
    rig.host.withDevice([&](es::SerialDevice& d) { stopped = !static_cast<es::TouchBoard&>(d).running(); });
    return stopped;
  });
  rig.session.pressRun();
  ASSERT_TRUE(rig.runUntil([&] {
    bool running = false;
    rig.host.withDevice([&](es::SerialDevice& d) { running = static_cast<es::TouchBoard&>(d).running(); });
    return running;
  }));
  // The board sends its thresholds every tenth cycle: the written one comes back.
  ASSERT_TRUE(rig.runUntil([&] { return rig.sink.grid.at(5, 10).text == "1500"; }));

  const auto file = std::filesystem::temp_directory_path() / ("touch-board-" + std::to_string(::getpid()) + ".TXT");
  ASSERT_TRUE(rig.session.saveTo(file));
  std::ifstream in(file, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::filesystem::remove(file);
  EXPECT_NE(text.str().find("  {TS_CH11, 1500},      \\\r\n"), std::string::npos);
  EXPECT_NE(text.str().find("  {TS_CH0 , 120 },      \\\r\n"), std::string::npos);

  rig.session.pressStop();
  rig.session.pressConnect();
  ASSERT_TRUE(rig.runUntil([&] { return !rig.session.active(); }));
  rig.runFor(base::Millis{50});
  EXPECT_EQ(rig.requestsBut(0x0A), (std::vector<LinkBytes>{cmd(touch::TOUCH_CMD_LINK),
                                                            {0x55, 0x04, 0x03, 0x0B, 0x05, 0xDC, 0x07 ^ 0x0B ^ 0x05 ^ 0xDC},
                                                            cmd(touch::TOUCH_CMD_STOP), cmd(touch::TOUCH_CMD_RUN),
                                                            cmd(touch::TOUCH_CMD_STOP), cmd(touch::PowerCycleTarget)}));
  // The link request went at 1200 baud, the rest at 115200; the power cycle puts the board back
  // to waiting at 1200.
  const auto log = rig.host.exchanges();
  ASSERT_GE(log.size(), 2U);
  EXPECT_EQ(log.front().rate, 1200U);
  EXPECT_EQ(log[1].rate, 115200U);
  EXPECT_EQ(rig.host.deviceRate(), 1200U);
  EXPECT_FALSE(rig.sink.buttons.stop);
  bool linked = true;
  rig.host.withDevice([&](es::SerialDevice& d) { linked = static_cast<es::TouchBoard&>(d).chipLinked(); });
  EXPECT_FALSE(linked);
}

TEST(TouchBoardLink, SixKeyFlagBytesAbove32Channels) {
  BoardRig rig(es::TouchBoardConfig{.channels = 40});
  rig.session.pressConnect();
  ASSERT_TRUE(rig.runUntil([&] { return rig.valuesShown(); }));
  // The board presses a key now and then; any key above 31 proves the high word arrived.
  EXPECT_TRUE(rig.runUntil([&] { return (rig.serial->model().keyFlags >> 32) != 0; }, base::Millis{20000}));
}

TEST(TouchBoardLink, ABoardThatNeverAnswersLeavesTheLinkWaitingSilently) {
  BoardRig rig({}, es::TouchBoardFaults{.noAck = true});
  rig.session.pressConnect();
  ASSERT_TRUE(rig.session.active());
  EXPECT_TRUE(rig.runUntil([&] { return !rig.loop.running(touch::kLinkTimerId); }));
  EXPECT_EQ(rig.serial->step(), touch::TOUCH_APP_IDLE);
  EXPECT_TRUE(rig.sink.errors().empty());
  EXPECT_TRUE(rig.sink.messages.empty());
}

TEST(TouchBoardLink, AnUnpluggedBoardEndsTheLinkAndConnectWorksAgain) {
  BoardRig rig({}, es::TouchBoardFaults{.unplugAfterFrames = 40});
  rig.session.pressConnect();
  ASSERT_TRUE(rig.runUntil([&] { return rig.serial->chipConnected(); }));
  ASSERT_TRUE(rig.runUntil([&] { return !rig.session.active(); }));
  EXPECT_EQ(rig.sink.errors().back(), "--> " + base::text("touch.link_closed"));
  EXPECT_EQ(rig.sink.buttons, touch::ButtonStates{});
  // The pseudo-terminal is gone with the board: Connect says the port will not open.
  rig.session.pressConnect();
  EXPECT_EQ(rig.sink.messages.back(), "Tip: Failed to open the serial port.");
  EXPECT_FALSE(rig.session.active());
}

}  // namespace
