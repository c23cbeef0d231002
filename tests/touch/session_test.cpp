// The touch session over USB against the emulated programmer's touch target: the connect and poll
// sequences byte for byte, their failure lines, status 24, low voltage, threshold edits, the
// buttons, the power button and the end of a session.
#include <gtest/gtest.h>

#include <fstream>

#include "base/manual_timers.hpp"
#include "base/texts.hpp"
#include "device/exceptions.hpp"
#include "device/programmer_lock.hpp"
#include "device/touch_debug.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "tests/support/foreign_lock.hpp"
#include "tests/support/read_file.hpp"
#include "tests/support/temp_home.hpp"
#include "tests/touch/recorder.hpp"
#include "touch/session.hpp"

namespace {

namespace ep = emulator::programmer;
using touch::ButtonStates;

ep::Config board(int channels = 6, std::uint32_t centivolts = 330) {
  ep::Config c;
  c.touchChannels = channels;
  c.centivolts = centivolts;
  return c;
}

ep::Fault fault(ep::FaultKind kind, std::uint8_t command, unsigned value = 0, int times = 1) {
  ep::Fault f;
  f.kind = kind;
  f.command = command;
  f.value = value;
  f.times = times;
  return f;
}

struct Rig {
  explicit Rig(ep::Config config = board())
      : device(ep::EmulatedProgrammer::create(std::move(config))),
        link(device->attach()),
        session(timers, sink, [this]() -> std::shared_ptr<qx::TouchDebug> {
          return present ? std::make_shared<qx::TouchDebug>(link) : nullptr;
        }) {
    base::setThreadLanguage(base::kLangEnglish);
    timers.setHandler([this](int id) { session.onTimer(id); });
  }
  // Connect, then ticks until the set-up is done.
  void connectReady() {
    session.pressConnect();
    ASSERT_TRUE(session.active());
    for (int i = 0; i < 20 && !session.usb().ready(); ++i) timers.advance(touch::kPollInterval);
    ASSERT_TRUE(session.usb().ready());
  }
  void tick() { timers.advance(touch::kPollInterval); }
  // The ids of the requests since the last mark, sub-code appended for the power command.
  std::vector<int> idsSinceMark() {
    std::vector<int> out;
    const auto log = device->log();
    for (std::size_t i = mark; i < log.size(); ++i) {
      const auto& r = log[i].request;
      out.push_back(r[0] == 0x11 || r[0] == 0x10 ? r[0] << 8 | r[1] : r[0]);
    }
    mark = log.size();
    return out;
  }
  bool powered() {
    bool on = false;
    device->inspect([&](ep::ProgrammerModel& m) { on = m.persistent().targetPowered; });
    return on;
  }

  testsupport::TempHome home;
  std::shared_ptr<ep::EmulatedProgrammer> device;
  std::shared_ptr<qx::Interface> link;
  bool present = true;
  base::ManualTimers timers;
  touchtest::Recorder sink;
  touch::TouchSession session;
  std::size_t mark = 0;
};

TEST(TouchSessionUsb, ConnectSetUpAndPollSequences) {
  Rig r;
  EXPECT_EQ(r.sink.buttons, ButtonStates{});
  r.session.pressConnect();
  // Connect, voltage, touch screen; then polls of the state until the target is ready.
  EXPECT_EQ(r.idsSinceMark(), (std::vector<int>{0x50, 0x1103, 0x1004}));
  ASSERT_EQ(r.sink.lines.size(), 1u);
  EXPECT_EQ(r.sink.lines[0].text, "--> Target voltage: 3.30V");
  EXPECT_EQ(r.sink.buttons, (ButtonStates{.connect = true, .connectSaysDisconnect = true, .run = false, .stop = true, .save = true}));
  EXPECT_EQ(r.timers.interval(touch::kPollTimerId), touch::kPollInterval);
  for (int i = 0; i < 3; ++i) r.tick();
  EXPECT_EQ(r.idsSinceMark(), (std::vector<int>{0x52, 0x52, 0x52}));
  r.tick();
  EXPECT_EQ(r.idsSinceMark(), (std::vector<int>{0x52, 0x53, 0x5A, 0x58}));
  EXPECT_EQ(r.device->log().back().request[1], 0);  // thresholds from channel 0, all six
  EXPECT_EQ(r.device->log().back().request[2], 6);
  EXPECT_EQ(r.sink.grid.at(2, 6).text, "TP5");
  EXPECT_EQ(r.sink.grid.at(2, 10).text, "120");
  r.tick();
  EXPECT_EQ(r.idsSinceMark(), (std::vector<int>{0x1103, 0x55, 0x58, 0x56, 0x57, 0x54}));
  EXPECT_EQ(r.sink.samples, 1);
  r.device->inspect([&](ep::ProgrammerModel& m) {
    const auto& s = m.touchSensor();
    for (int ch = 0; ch < 6; ++ch) {
      const auto i = static_cast<std::size_t>(ch);
      EXPECT_EQ(r.session.usb().model().currents[i], s.raw(ch));
      EXPECT_EQ(r.session.usb().model().differences[i], s.baseline(ch) - s.raw(ch));
      EXPECT_EQ(r.sink.grid.at(ch / 2, ch % 2 * 6 + 1).text, std::to_string(s.raw(ch)));
    }
  });
  EXPECT_EQ(r.sink.grid.at(3, 0).text, "TP_REF");
  EXPECT_TRUE(r.sink.errors().empty());
}

TEST(TouchSessionUsb, OnlyChangedCellsAreRewritten) {
  Rig r;
  r.connectReady();
  r.tick();
  // A target whose values stand still: the same reply for every read of the next tick.
  const auto last = r.device->log();
  r.sink.grid.writes = 0;
  for (std::uint8_t id : {0x55, 0x58, 0x56, 0x57, 0x54}) {
    for (auto it = last.rbegin(); it != last.rend(); ++it) {
      if (it->request[0] != id) continue;
      ep::Fault f = fault(ep::FaultKind::Tamper, id);
      f.tamper = [reply = it->reply](qx::Bytes& out) { out = reply; };
      r.device->addFault(f);
      break;
    }
  }
  r.tick();
  EXPECT_EQ(r.sink.grid.writes, 0);
  EXPECT_EQ(r.sink.samples, 2);
}

TEST(TouchSessionUsb, ButtonStatesThroughRunStopAndDisconnect) {
  Rig r;
  const auto lockFile = qx::programmerLockDirectory() / "439041101.lock";
  r.connectReady();
  EXPECT_FALSE(testsupport::ForeignLock(lockFile).held()) << "the session holds the programmer";
  r.session.pressStop();
  EXPECT_EQ(r.sink.buttons, (ButtonStates{.connect = true, .connectSaysDisconnect = true, .run = true, .stop = false, .save = true}));
  EXPECT_FALSE(r.timers.running(touch::kPollTimerId));
  r.session.pressRun();
  EXPECT_EQ(r.sink.buttons, (ButtonStates{.connect = true, .connectSaysDisconnect = true, .run = false, .stop = true, .save = true}));
  EXPECT_TRUE(r.timers.running(touch::kPollTimerId));
  r.idsSinceMark();
  r.session.pressConnect();
  EXPECT_EQ(r.idsSinceMark(), (std::vector<int>{0x51, 0x1102}));
  EXPECT_EQ(r.sink.buttons, ButtonStates{});
  EXPECT_FALSE(r.session.active());
  EXPECT_FALSE(r.link->isOpen());
  EXPECT_FALSE(r.powered());
  EXPECT_TRUE(testsupport::ForeignLock(lockFile).held());
}

TEST(TouchSessionUsb, ConnectFailures) {
  {
    Rig r;
    testsupport::ForeignLock other(qx::programmerLockDirectory() / "439041101.lock");
    ASSERT_TRUE(other.held());
    r.session.pressConnect();
    ASSERT_EQ(r.sink.errors().size(), 1u);
    EXPECT_EQ(r.sink.errors()[0].rfind("--> The QUBRIX Tool 439041101 is in use by process 1 (", 0), 0u)
        << r.sink.errors()[0];
    EXPECT_TRUE(r.device->log().empty());
    EXPECT_FALSE(r.session.active());
  }
  {
    Rig r;
    r.present = false;
    r.session.pressConnect();
    ASSERT_EQ(r.sink.messages.size(), 1u);
    EXPECT_EQ(r.sink.messages[0], "Tip: The USB QUBRIX Tool was not found. Please plug it into your computer.");
    EXPECT_FALSE(r.session.active());
  }
  {
    Rig r;
    r.device->unplug();
    r.session.pressConnect();
    EXPECT_EQ(r.sink.errors(), std::vector<std::string>{"--> The USB QUBRIX Tool cannot be opened."});
    EXPECT_FALSE(r.session.active());
  }
  {
    ep::Config c = board();
    c.targetAttached = false;
    Rig r(c);
    r.session.pressConnect();
    EXPECT_EQ(r.idsSinceMark(), (std::vector<int>{0x50, 0x1102}));
    EXPECT_EQ(r.sink.errors(), std::vector<std::string>{"--> The target chip cannot be connected. Please check the hardware "
                                                        "connection or application software Settings!"});
    EXPECT_FALSE(r.session.active());
    EXPECT_FALSE(r.link->isOpen());
  }
  {
    Rig r;
    r.device->addFault(fault(ep::FaultKind::Status, 0x50, 7));
    r.session.pressConnect();
    ASSERT_EQ(r.sink.errors().size(), 1u);
    EXPECT_EQ(r.sink.errors()[0].rfind("--> Failed to connect to the target. Error: ", 0), 0u) << r.sink.errors()[0];
    EXPECT_FALSE(r.session.active());
    EXPECT_FALSE(r.timers.running(touch::kPollTimerId));
    EXPECT_FALSE(r.powered());
  }
}

TEST(TouchSessionUsb, FailedReadsStopPollingWithTheirLine) {
  const struct {
    bool setUp;  // during the set-up, else during the data polls
    std::uint8_t command;
    const char* line;
  } cases[] = {
      {true, 0x52, "--> Failed to obtain the running status."},
      {true, 0x53, "--> Failed to obtain the number of channels."},
      {true, 0x5A, "--> Failed to obtain the channel number."},
      {true, 0x58, "--> Failed to obtain the channel threshold."},
      {false, 0x55, "--> Failed to obtain the key status."},
      {false, 0x58, "--> Failed to obtain the channel threshold."},
      {false, 0x56, "--> Failed to obtain the channel baseline."},
      {false, 0x57, "--> Failed to obtain the current value of the channel."},
      {false, 0x54, "--> Failed to obtain the reference channel data."},
  };
  for (const auto& c : cases) {
    Rig r;
    if (c.setUp) {
      r.session.pressConnect();
      for (int i = 0; i < 3; ++i) r.tick();
    } else {
      r.connectReady();
    }
    // Status 2 is neither success nor the refusal that raises: the read reports failure.
    r.device->addFault(fault(ep::FaultKind::Status, c.command, 2));
    r.tick();
    EXPECT_EQ(r.sink.errors(), std::vector<std::string>{c.line}) << c.line;
    EXPECT_FALSE(r.timers.running(touch::kPollTimerId)) << c.line;
    EXPECT_TRUE(r.session.active()) << c.line;
    r.session.pressConnect();
    EXPECT_FALSE(r.session.active()) << c.line;
    EXPECT_FALSE(r.link->isOpen()) << c.line;
  }
}

TEST(TouchSessionUsb, DeviceErrorsInEachPhase) {
  {
    Rig r;
    r.session.pressConnect();
    r.device->addFault(fault(ep::FaultKind::Status, 0x52, 1));
    r.tick();
    ASSERT_EQ(r.sink.errors().size(), 1u);
    EXPECT_EQ(r.sink.errors()[0].rfind("--> Connection initialization failed. Error: ", 0), 0u);
    EXPECT_FALSE(r.timers.running(touch::kPollTimerId));
  }
  {
    Rig r;
    r.connectReady();
    r.device->addFault(fault(ep::FaultKind::Silence, 0x57, 0, 3));
    r.tick();
    ASSERT_EQ(r.sink.errors().size(), 1u);
    EXPECT_EQ(r.sink.errors()[0].rfind("--> Failed to obtain channel data. Error: ", 0), 0u);
    EXPECT_FALSE(r.timers.running(touch::kPollTimerId));
  }
}

TEST(TouchSessionUsb, StatusTwentyFourIsATickWithoutData) {
  Rig r;
  r.connectReady();
  const int before = r.sink.samples;
  r.device->addFault(fault(ep::FaultKind::Status, 0x56, 24));
  r.tick();
  EXPECT_TRUE(r.sink.lines.size() == 1u);  // only the voltage line of the connect
  EXPECT_EQ(r.sink.samples, before);
  EXPECT_TRUE(r.timers.running(touch::kPollTimerId));
  r.tick();
  EXPECT_EQ(r.sink.samples, before + 1);
}

TEST(TouchSessionUsb, LowVoltageEndsPollingAndRemovesPower) {
  Rig r(board(6, 190));
  r.connectReady();
  EXPECT_TRUE(r.powered());
  r.idsSinceMark();
  r.tick();
  EXPECT_EQ(r.idsSinceMark(), (std::vector<int>{0x1103, 0x1102}));
  EXPECT_EQ(r.sink.errors(), std::vector<std::string>{"--> The target power supply voltage is too low."});
  EXPECT_FALSE(r.timers.running(touch::kPollTimerId));
  EXPECT_FALSE(r.powered());
  r.session.pressConnect();
  EXPECT_FALSE(r.session.active());
}

TEST(TouchSessionUsb, UnpluggedMidSessionStillDisconnects) {
  Rig r;
  r.connectReady();
  r.device->unplugAfter(2);
  r.tick();
  ASSERT_EQ(r.sink.errors().size(), 1u);
  EXPECT_FALSE(r.timers.running(touch::kPollTimerId));
  r.session.pressConnect();
  EXPECT_FALSE(r.session.active());
  EXPECT_EQ(r.sink.buttons, ButtonStates{});
}

TEST(TouchSessionUsb, ThresholdEditsReachTheTargetOnlyWhileConnectedAndStick) {
  Rig r;
  r.session.thresholdEdited(0, "55");
  EXPECT_TRUE(r.device->log().empty());
  r.connectReady();
  r.tick();
  r.idsSinceMark();
  r.session.thresholdEdited(2, " 80 ");
  ASSERT_EQ(r.idsSinceMark(), std::vector<int>{0x59});
  qx::Bytes expected = {0x59, 0, 6, 120, 0, 120, 0, 80, 0, 120, 0, 120, 0, 120, 0};
  expected.resize(qx::kReportSize, 0);
  EXPECT_EQ(r.device->log().back().request, expected);
  r.tick();
  EXPECT_EQ(r.session.usb().model().thresholds[2], 80);
  r.device->inspect([](ep::ProgrammerModel& m) { EXPECT_EQ(m.touchSensor().threshold(2), 80); });
  r.idsSinceMark();
  for (const char* refused : {"", "12a", "-5"}) r.session.thresholdEdited(1, refused);
  r.session.thresholdEdited(6, "70");  // no such channel
  EXPECT_TRUE(r.idsSinceMark().empty());
  r.session.thresholdEdited(1, "99999");
  r.device->inspect([](ep::ProgrammerModel& m) { EXPECT_EQ(m.touchSensor().threshold(1), 65535); });
  r.device->addFault(fault(ep::FaultKind::Status, 0x59, 2));
  r.session.thresholdEdited(1, "90");
  EXPECT_EQ(r.sink.errors(), std::vector<std::string>{"--> Failed to set the channel threshold."});
  EXPECT_TRUE(r.timers.running(touch::kPollTimerId));
}

TEST(TouchSessionUsb, FortyEightChannelsSetTheFirstThirtyAndRefuseTheRest) {
  Rig r(board(48));
  r.connectReady();
  EXPECT_EQ(r.sink.grid.at(23, 6).text, "TP47");
  r.idsSinceMark();
  r.session.thresholdEdited(29, "200");
  ASSERT_EQ(r.idsSinceMark(), std::vector<int>{0x59});
  EXPECT_EQ(r.device->log().back().request[2], 30);
  r.session.thresholdEdited(30, "200");
  EXPECT_TRUE(r.idsSinceMark().empty());
  ASSERT_EQ(r.sink.errors().size(), 1u);
  EXPECT_EQ(r.sink.errors()[0], "--> Failed to set the channel threshold. Error: " + qx::statusMessage(11));
  r.tick();
  EXPECT_EQ(r.sink.grid.at(15, 4).text, "120");  // the cell shows the target's value again
}

TEST(TouchSessionUsb, ExportWritesTheDisplayedThresholds) {
  Rig r;
  r.connectReady();
  r.session.thresholdEdited(5, "1500");
  const auto file = r.home.path() / "Touchconfig.TXT";
  ASSERT_TRUE(r.session.saveTo(file));
  const std::string text = testsupport::readFile(file);
  EXPECT_EQ(text,
            "  #define KEY_SEQ       \\\r\n"
            "  {TS_CH0 , 120 },      \\\r\n  {TS_CH1 , 120 },      \\\r\n  {TS_CH2 , 120 },      \\\r\n"
            "  {TS_CH3 , 120 },      \\\r\n  {TS_CH4 , 120 },      \\\r\n  {TS_CH5 , 1500},      \\\r\n");
  EXPECT_EQ(r.sink.lines.back().text, "--> Saved to: " + file.string());
  r.session.selectPort("COM3");
  r.session.pressConnect();  // the session over USB is still the one that counts
  EXPECT_FALSE(r.session.active());
  EXPECT_FALSE(r.session.saveTo(file));  // a COM port without a serial link exports nothing
}

TEST(TouchSessionUsb, ModeChangeEndsTheSession) {
  Rig r;
  r.connectReady();
  r.idsSinceMark();
  r.session.endForModeChange();
  EXPECT_EQ(r.idsSinceMark(), (std::vector<int>{0x51, 0x1102}));
  EXPECT_FALSE(r.session.active());
  EXPECT_FALSE(r.timers.running(touch::kPollTimerId));
}

TEST(TouchPower, TogglesKeepsTheSessionsProgrammerOpenAndLeavesOneInUseAlone) {
  Rig r;
  EXPECT_FALSE(r.powered());
  r.session.pressPower();
  EXPECT_EQ(r.sink.lines.back().text, "--> The target is powered on.");
  EXPECT_FALSE(r.sink.powerOffersOn);
  EXPECT_TRUE(r.powered());
  EXPECT_FALSE(r.link->isOpen());
  r.session.pressPower();
  EXPECT_EQ(r.sink.lines.back().text, "--> The target is powered off.");
  EXPECT_TRUE(r.sink.powerOffersOn);
  {
    testsupport::ForeignLock other(qx::programmerLockDirectory() / "439041101.lock");
    ASSERT_TRUE(other.held());
    r.idsSinceMark();
    r.session.pressPower();
    EXPECT_EQ(r.sink.lines.back().text.rfind("--> The QUBRIX Tool 439041101 is in use by process 1 (", 0), 0u)
        << r.sink.lines.back().text;
    EXPECT_TRUE(r.sink.lines.back().error);
    EXPECT_TRUE(r.idsSinceMark().empty());
    EXPECT_FALSE(r.powered());
  }
  r.connectReady();
  r.session.pressPower();
  EXPECT_TRUE(r.link->isOpen());
  EXPECT_FALSE(r.powered());
  r.present = false;
  r.session.pressConnect();
  r.session.pressPower();
  EXPECT_EQ(r.sink.lines.back().text, "--> No QUBRIX Tool was found.");
  EXPECT_FALSE(r.sink.powerOffersOn);  // it tried to switch on
}

}  // namespace
