// The serial touch link's host side. TouchLinkParse: a running transport taking a stream of
// 48-channel frames (current, baseline, key flags) from memory: CPU per frame. TouchLinkLive: the
// emulated board with 48 channels on a pseudo-terminal at full rate (each cycle as soon as the line
// has taken the last, some 45 cycles a second at 115200 baud) for QUBRIX_BENCH_SECONDS (default
// 10; a minute is 60): data frames the board sent against frames the host took whole, with those
// that failed the checksum, and the CPU per frame of the thread that runs the link.
#include <sys/resource.h>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <mutex>

#include "base/event_loop.hpp"
#include "base/manual_timers.hpp"
#include "emulator/serial/pty_host.hpp"
#include "emulator/serial/touch_board.hpp"
#include "tests/support/detached_serial_link.hpp"
#include "touch/port_link.hpp"
#include "touch/serial_transport.hpp"
#include "touch/session.hpp"

namespace {

namespace es = emulator::serial;

class CountingSink final : public touch::SessionSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  void onClearTable() override {}
  void onChannelRow(std::size_t, std::uint8_t) override {}
  void onChannelValue(std::size_t, touch::Field, std::int32_t) override { ++cells; }
  void onChannelCount(std::size_t) override {}
  void onKeyFlags(std::uint64_t) override {}
  void onReference(touch::Field, std::int32_t) override {}
  void onButtons(const touch::ButtonStates&) override {}
  void onPowerButton(bool) override {}
  void onSample(const touch::ChannelModel&, base::Millis) override { ++samples; }
  long cells = 0;
  long samples = 0;
};

constexpr std::size_t kChannels = 48;

touch::LinkBytes valueFrame(std::uint8_t type, std::uint16_t base) {
  touch::LinkBytes d{kChannels};
  for (std::size_t i = 0; i < kChannels; ++i) {
    const auto v = static_cast<std::uint16_t>(base + i * 7);
    d.insert(d.end(), {static_cast<std::uint8_t>(i), static_cast<std::uint8_t>(v >> 8), static_cast<std::uint8_t>(v)});
  }
  return touch::boardFrame(type, d);
}

void TouchLinkParse(benchmark::State& state) {
  touchtest::DetachedSerialLink link;
  base::ManualTimers timers;
  CountingSink sink;
  touch::SerialTransport t(link, timers, sink);
  timers.setHandler([&](int id) { t.onTimer(id); });
  const auto feed = [&](const touch::LinkBytes& b) {
    for (std::uint8_t x : b) t.onByte(x);
  };
  t.toggleConnect();
  feed(touch::boardFrame(touch::TOUCH_ACK, {0}));
  timers.advance(touch::kLinkTick);
  feed(touch::boardFrame(touch::TOUCH_ACK, {0}));
  timers.advance(touch::kLinkTick);
  feed(touch::boardFrame(touch::TOUCH_CHANNEL_COUNT, {kChannels}));
  touch::LinkBytes list{kChannels};
  for (std::size_t i = 0; i < kChannels; ++i) list.push_back(static_cast<std::uint8_t>(i));
  feed(touch::boardFrame(touch::TOUCH_CHANNEL_LIST, list));
  touch::LinkBytes cycle = valueFrame(touch::TOUCH_BASELINE, 1800);
  const auto current = valueFrame(touch::TOUCH_CURRENT, 1790);
  const auto flags = touch::boardFrame(touch::TOUCH_KEY_FLAGS, {0, 1, 0, 0, 0, 5});
  cycle.insert(cycle.end(), flags.begin(), flags.end());
  cycle.insert(cycle.end(), current.begin(), current.end());
  for (auto _ : state) feed(cycle);
  state.SetItemsProcessed(state.iterations() * 3);
  state.SetBytesProcessed(state.iterations() * static_cast<long>(cycle.size()));
  state.counters["cells_per_cycle"] = static_cast<double>(sink.cells) / static_cast<double>(state.iterations());
}
BENCHMARK(TouchLinkParse);

// The port's bytes go to the transport and, beside it, to a receiver that counts the frames.
class CountingPortSink final : public isp::SerialPortSink {
 public:
  explicit CountingPortSink(base::EventLoop& loop) : loop_(loop) {}
  void onSerialByte(std::uint8_t byte) override {
    std::lock_guard lock(mutex_);
    const bool first = pending_.empty();
    pending_.push_back(byte);
    if (first) loop_.post([this] { drain(); });
  }
  void onSerialMessage(const isp::SerialMessage&) override {}
  void onSerialErrorChanged(bool) override {}

  touch::SerialTransport* transport = nullptr;
  long dataFrames = 0;

 private:
  void drain() {
    std::vector<std::uint8_t> bytes;
    {
      std::lock_guard lock(mutex_);
      bytes.swap(pending_);
    }
    for (std::uint8_t b : bytes) {
      transport->onByte(b);
      if (const auto f = parser_.feed(b); f && f->type >= touch::TOUCH_BASELINE && f->type <= touch::TOUCH_KEY_FLAGS) ++dataFrames;
    }
  }
  base::EventLoop& loop_;
  std::mutex mutex_;
  std::vector<std::uint8_t> pending_;
  touch::BoardFrameParser parser_;
};

double cpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_THREAD, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) + static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

void TouchLinkLive(benchmark::State& state) {
  const char* env = std::getenv("QUBRIX_BENCH_SECONDS");
  const long seconds = env != nullptr ? std::max(1L, std::atol(env)) : 10;
  for (auto _ : state) {
    es::PtyHost host(std::make_unique<es::TouchBoard>(es::TouchBoardConfig{.channels = kChannels, .period = es::Micros{0}}));
    if (!host.start()) {
      state.SkipWithError("no pseudo-terminal");
      return;
    }
    base::EventLoop loop;
    CountingSink sink;
    CountingPortSink portSink(loop);
    isp::CSerialPort port;
    touch::PortLink link(port, portSink);
    touch::SerialTransport t(link, loop, sink);
    portSink.transport = &t;
    link.setPort(host.path());
    bool stopping = false;
    loop.setTimerHandler([&](int id) {
      if (id == 100) {
        if (!stopping) {
          // Stop the stream and let the cycle on the line arrive.
          stopping = true;
          t.stop();
          loop.start(100, base::Millis{500});
        } else {
          loop.quit();
        }
        return;
      }
      t.onTimer(id);
    });
    loop.post([&] { t.toggleConnect(); });
    const double cpuBefore = cpuSeconds();
    loop.start(100, base::Millis{seconds * 1000 + 600});
    loop.run();
    const double cpu = cpuSeconds() - cpuBefore;
    long sent = 0;
    long bad = 0;
    host.withDevice([&](es::SerialDevice& d) {
      sent = static_cast<long>(static_cast<es::TouchBoard&>(d).dataFramesSent());
      bad = static_cast<long>(static_cast<es::TouchBoard&>(d).badFramesSent());
    });
    state.counters["frames_sent"] = static_cast<double>(sent);
    state.counters["frames_taken"] = static_cast<double>(portSink.dataFrames);
    state.counters["frames_lost"] = static_cast<double>(sent - portSink.dataFrames);
    state.counters["bad_sent"] = static_cast<double>(bad);
    state.counters["samples"] = static_cast<double>(sink.samples);
    state.counters["loop_thread_cpu_us_per_frame"] = portSink.dataFrames > 0 ? cpu * 1e6 / static_cast<double>(portSink.dataFrames) : 0;
    state.counters["pty_overflow_bytes"] = static_cast<double>(host.overflowedBytes());
    t.endForModeChange();
  }
}
BENCHMARK(TouchLinkLive)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
