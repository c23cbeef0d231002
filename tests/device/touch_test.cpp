// Touch debug commands: batches of 30, cut replies and the emulated touch target.
#include <gtest/gtest.h>

#include "device/exceptions.hpp"
#include "device/touch_debug.hpp"
#include "tests/device/rig.hpp"

namespace {

namespace ep = emulator::programmer;
using rig::frame;
using TouchRig = rig::Rig<qx::TouchDebug>;

ep::Config channels(int n) {
  ep::Config c;
  c.touchChannels = n;
  return c;
}

TEST(TouchBatches, FortyChannelsAreReadAsThirtyAndTen) {
  TouchRig r(channels(40));
  std::uint8_t info = 0;
  ASSERT_TRUE(r.handle->tdConnect(info));
  std::vector<std::uint16_t> raw(40, 0);
  ASSERT_TRUE(r.handle->tdGetRawData(40, raw));
  const auto batches = r.requests(0x57);
  ASSERT_EQ(batches.size(), 2u);
  EXPECT_EQ(batches[0], frame({0x57, 0, 30}));
  EXPECT_EQ(batches[1], frame({0x57, 30, 10}));
  r.device->inspect([&](ep::ProgrammerModel& m) {
    for (int ch = 0; ch < 40; ++ch) EXPECT_EQ(raw[static_cast<std::size_t>(ch)], m.touchSensor().raw(ch)) << ch;
  });
  std::vector<std::uint16_t> thresholds(40, 0), baseline(40, 0);
  ASSERT_TRUE(r.handle->tdGetThresholdData(40, thresholds));
  ASSERT_TRUE(r.handle->tdGetBaselineData(40, baseline));
  EXPECT_EQ(r.requests(0x58).size(), 2u);
  EXPECT_EQ(r.requests(0x56).back(), frame({0x56, 30, 10}));
  EXPECT_NE(baseline[39], 0);
}

TEST(TouchBatches, RepliesFillWhatTheyBringNeverPastTheDestination) {
  TouchRig r(channels(40));
  // Batch 1 brings only 2 values; batch 2 claims 200, more than the frame and the room left.
  qx::Bytes second = {0x56, 0, 200};
  for (int i = 0; i < 30; ++i) second.push_back(static_cast<std::uint8_t>(i + 1)), second.push_back(0);
  ep::Fault plan = rig::fault(ep::FaultKind::Tamper, 0x56, 0, 2);
  int call = 0;
  plan.tamper = [&](qx::Bytes& reply) {
    reply = ++call == 1 ? frame({0x56, 0, 2, 0x11, 0, 0x22, 0}) : frame(second);
  };
  r.device->addFault(plan);
  std::vector<std::uint16_t> values(35, 0xEEEE);
  ASSERT_TRUE(r.handle->tdGetBaselineData(40, values));
  EXPECT_EQ(values[0], 0x11);
  EXPECT_EQ(values[1], 0x22);
  EXPECT_EQ(values[2], 0xEEEE);
  EXPECT_EQ(values[29], 0xEEEE);
  EXPECT_EQ(values[30], 1);
  EXPECT_EQ(values[34], 5);
  EXPECT_EQ(r.requests(0x56)[1], frame({0x56, 30, 10}));
}

TEST(TouchThresholds, ThirtyGoInOneFrameMoreRaiseOutOfRange) {
  TouchRig r(channels(40));
  std::uint8_t info = 0;
  ASSERT_TRUE(r.handle->tdConnect(info));
  std::vector<std::uint16_t> values(30);
  for (std::size_t i = 0; i < values.size(); ++i) values[i] = static_cast<std::uint16_t>(0x100 + i);
  ASSERT_TRUE(r.handle->tdSetThresholdData(values));
  qx::Bytes expected = {0x59, 0, 30};
  for (std::uint16_t v : values) expected.push_back(static_cast<std::uint8_t>(v)), expected.push_back(static_cast<std::uint8_t>(v >> 8));
  EXPECT_EQ(expected.size(), 63u);
  EXPECT_EQ(r.lastRequest(), frame(expected));
  r.device->inspect([](ep::ProgrammerModel& m) { EXPECT_EQ(m.touchSensor().threshold(29), 0x100 + 29); });
  const std::size_t before = r.exchanges();
  values.push_back(1);
  try {
    r.handle->tdSetThresholdData(values);
    ADD_FAILURE() << "no exception";
  } catch (const qx::CommandException& e) {
    EXPECT_EQ(e.code(), 11);
  }
  EXPECT_EQ(r.exchanges(), before);
}

TEST(TouchReplies, FlagsReferenceAndChannelNumbers) {
  TouchRig r(channels(8));
  std::uint64_t flags = 0;
  r.device->addFault(rig::replyWith({0x55, 0, 0x01, 0, 0, 0, 0, 0, 0, 0x80}));
  ASSERT_TRUE(r.handle->tdGetKeysFlagSN(flags));
  EXPECT_EQ(flags, 0x8000000000000001ull);
  std::uint16_t reference = 0, current = 0;
  r.device->addFault(rig::replyWith({0x54, 0, 0xE8, 0x03, 0xE0, 0x03}));
  ASSERT_TRUE(r.handle->tdGetRefChData(reference, current));
  EXPECT_EQ(reference, 1000);
  EXPECT_EQ(current, 992);
  // m 200 is cut at the frame; the destination takes what fits.
  qx::Bytes numbers = {0x5A, 0, 200};
  for (int i = 0; i < 61; ++i) numbers.push_back(static_cast<std::uint8_t>(100 + i));
  r.device->addFault(rig::replyWith(numbers));
  std::vector<std::uint8_t> out(4);
  ASSERT_TRUE(r.handle->tdGetChannelNumber(4, out));
  EXPECT_EQ(out, (std::vector<std::uint8_t>{100, 101, 102, 103}));
  EXPECT_EQ(r.lastRequest(), frame({0x5A, 4}));
}

// The order of the touch window: connect, wait for state 1, then the channel set-up and polls.
TEST(TouchSession, TheEmulatedTargetBecomesReadyAndReportsKeyPresses) {
  TouchRig r(channels(12));
  qx::TouchDebug& t = *r.handle;
  std::uint8_t info = 0, state = 0, count = 0;
  ASSERT_TRUE(t.tdConnect(info));
  EXPECT_GT(t.targetVoltage(), 2.0f);
  ASSERT_TRUE(t.screenMode(3));
  int polls = 0;
  while (t.tdGetState(state) && state != 1 && polls < 100) ++polls;
  ASSERT_EQ(state, 1);
  EXPECT_GT(polls, 0);
  ASSERT_TRUE(t.tdGetChannelCount(count));
  ASSERT_EQ(count, 12);
  std::vector<std::uint8_t> numbers(count);
  ASSERT_TRUE(t.tdGetChannelNumber(count, numbers));
  std::vector<std::uint16_t> thresholds(count), baseline(count), raw(count);
  bool pressed = false;
  for (int i = 0; i < 400 && !pressed; ++i) {
    std::uint64_t flags = 0;
    ASSERT_TRUE(t.tdGetKeysFlagSN(flags));
    ASSERT_TRUE(t.tdGetThresholdData(count, thresholds));
    ASSERT_TRUE(t.tdGetBaselineData(count, baseline));
    ASSERT_TRUE(t.tdGetRawData(count, raw));
    for (std::size_t ch = 0; ch < count; ++ch) {
      if ((flags >> ch & 1) == 0) continue;
      pressed = true;
      EXPECT_GT(baseline[ch] - raw[ch], thresholds[ch]);
    }
  }
  EXPECT_TRUE(pressed);
  EXPECT_TRUE(t.tdDisconnect());
  EXPECT_FALSE(t.tdGetState(state));  // not connected any more: a soft refusal
}

TEST(TouchSession, NoTargetMeansConnectIsRefused) {
  ep::Config config;
  config.targetAttached = false;
  TouchRig r(config);
  std::uint8_t info = 0;
  EXPECT_FALSE(r.handle->tdConnect(info));
  EXPECT_EQ(r.lastRequest(), frame({0x50}));
}

}  // namespace
