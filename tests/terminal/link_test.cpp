// The terminal on a real pseudo-terminal, served by the emulated echo and stream devices.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/terminal_devices.hpp"
#include "rig.hpp"
#include "terminal/hex_text.hpp"
#include "terminal/serial_port_link.hpp"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

// The consumer's thread is the test's: wake() only signals, the test calls deliver().
struct LinkRig {
  explicit LinkRig(std::unique_ptr<emulator::serial::SerialDevice> device) : host(std::move(device)) {
    EXPECT_TRUE(host.start());
    link.setLine(host.path(), 921600);
  }
  ~LinkRig() { link.close(); }

  // Delivers until `done` holds; false after a generous bound.
  template <class Done>
  bool deliverUntil(Done done) {
    const auto limit = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
      std::unique_lock lock(mutex);
      if (!woken.wait_until(lock, limit, [this] { return pending; })) return false;
      pending = false;
      lock.unlock();
      link.deliver(core, sink);
    }
    return true;
  }

  emulator::serial::PtyHost host;
  std::mutex mutex;
  std::condition_variable woken;
  bool pending = false;
  terminal::SerialPortLink link{[this] {
    std::lock_guard lock(mutex);
    pending = true;
    woken.notify_one();
  }};
  termtest::RecordingSink sink;
  termtest::ManualClock clock;
  base::ManualTimers timers;
  terminal::TerminalCore core{sink, link, timers, clock};
};

TEST(Link, ASendLongerThanThePortsBufferComesBackWholeAndInOrder) {
  LinkRig r(std::make_unique<emulator::serial::EchoDevice>());
  r.core.setHexDisplay(true);
  ASSERT_TRUE(r.core.openPort());
  std::string text(3000, '\0');
  for (std::size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char>('a' + i % 26);
  ASSERT_TRUE(r.core.send(text));
  ASSERT_TRUE(r.deliverUntil([&] { return r.core.receivedCount() >= text.size(); }));
  std::string expected;
  for (const char c : text) terminal::appendHexPair(expected, static_cast<std::uint8_t>(c));
  EXPECT_EQ(r.core.receivedText(), expected);
}

TEST(Link, TheCountingPatternArrivesWithoutALostOrReorderedByte) {
  auto device = std::make_unique<emulator::serial::StreamDevice>(50'000);
  LinkRig r(std::move(device));
  ASSERT_TRUE(r.core.openPort());
  // Hex display: each byte's pair in the received text can be read back unambiguously.
  r.core.setHexDisplay(true);
  ASSERT_TRUE(r.deliverUntil([&] { return r.core.receivedCount() >= 20'000; }));
  const std::string& text = r.core.receivedText();
  ASSERT_GE(text.size(), 3u * 20'000);
  int breaks = 0;
  int previous = -1;
  // Skip what came before the port took the rate: the first bytes may be garbled.
  for (std::size_t i = 3 * 256; i + 2 < text.size(); i += 3) {
    const int value = std::stoi(text.substr(i, 2), nullptr, 16);
    if (previous >= 0 && value != (previous + 1) % 256) ++breaks;
    previous = value;
  }
  EXPECT_EQ(breaks, 0);
  EXPECT_EQ(r.host.overflowedBytes(), 0u);
}

TEST(Link, APulledCableEndsTheSessionWithOneMessage) {
  LinkRig r(std::make_unique<emulator::serial::EchoDevice>());
  ASSERT_TRUE(r.core.openPort());
  r.timers.setHandler([&](int id) { r.core.onTimer(id); });
  r.core.setTimedSending(true, "x");
  r.host.stop();  // the line goes away under the open port
  ASSERT_TRUE(r.deliverUntil([&] { return !r.sink.portOpen; }));
  r.timers.advance(2000ms);
  EXPECT_FALSE(r.core.timedSending());
  ASSERT_EQ(r.sink.messages.size(), 1u);
  EXPECT_EQ(r.sink.messages[0].text, "串口通信出错");
}

}  // namespace
