// Serial ISP speed.
//  BM_Program64KiB: a 64 KiB image through the engine, CSerialPort and a pseudo-terminal into the
//    emulated bootloader, wire pacing on, at the rate the bootloader negotiates. The bootloader's
//    own processing times are set to zero so that the bound is the wire alone: every frame and
//    reply at the rate it went at, plus the waits the protocol prescribes. Counters: the whole run
//    and the flash phase (first block to last acknowledgement), each against its bound.
//  BM_EngineBlock: the engine's CPU per block (acknowledgement in, next 137-byte frame out).
#include <benchmark/benchmark.h>

#include <chrono>
#include <map>
#include <string>

#include "base/manual_timers.hpp"
#include "base/texts.hpp"
#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/pty_host.hpp"
#include "isp/engine/engine.hpp"
#include "isp/engine/runner.hpp"
#include "isp/replies.hpp"

namespace {

using Clock = std::chrono::steady_clock;
using isp::engine::IspJob;
using base::Outcome;

constexpr std::size_t kImageSize = 65536;

IspJob job64k(std::uint8_t baudCode) {
  IspJob job;
  job.maxFileLength = kImageSize;
  job.mcuTypeIndex = 0x3105;  // 64 KiB, family 0x100
  job.modelId = 0x5812;
  job.internalName = "QX58K64A";
  job.image.resize(kImageSize);
  for (std::size_t i = 0; i < kImageSize; ++i) job.image[i] = static_cast<std::uint8_t>(i * 31 + (i >> 8));
  job.dataLength = kImageSize - 1;  // the largest a 2-byte data length carries
  job.programLength = kImageSize;
  job.pageCount = kImageSize / 128;
  std::uint32_t sum = 0;
  for (std::uint8_t b : job.image) sum += b;
  job.totalChecksum = sum + 2 * kImageSize + 1;
  job.totalChecksumLength = kImageSize;
  job.upgradeBaudCode = baudCode;
  return job;
}

// Notes when the flash phase starts and ends.
class TimingSink final : public isp::engine::IspSink {
 public:
  void onLog(const std::string& line, base::LogColour) override {
    if (line == "--> " + base::text(112)) flashStart = Clock::now();
    if (line == "--> " + base::text(292)) flashEnd = Clock::now();
  }
  void onProgressRange(int, int) override {}
  void onProgress(int) override {}
  void onControlsEnabled(bool) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  void onFinished(Outcome o) override { outcome = o; }
  void onProgrammerInfo(const isp::ProgrammerInfo&, isp::engine::VersionQuery) override {}

  Clock::time_point flashStart{};
  Clock::time_point flashEnd{};
  Outcome outcome = Outcome::Failed;
};

double wireSeconds(std::size_t bytes, std::uint32_t rate) { return static_cast<double>(bytes) * 10.0 / rate; }

void BM_Program64KiB(benchmark::State& state) {
  const auto baudCode = static_cast<std::uint8_t>(state.range(0));
  std::map<std::string, double> totals;
  for (auto _ : state) {
    emulator::serial::ChipConfig config;
    config.flashSize = kImageSize;
    config.eraseChipTime = config.erasePageTime = config.blockWriteTime = config.checksumTimePerKib = {};
    emulator::serial::PtyHost host(std::make_unique<emulator::serial::ChipBootloader>(config));
    if (!host.start()) {
      state.SkipWithError("no pseudo-terminal");
      return;
    }
    TimingSink sink;
    isp::engine::IspRunner runner(sink, {host.path(), std::chrono::seconds(30)});
    const auto start = Clock::now();
    const auto result = runner.program(job64k(baudCode));
    const auto end = Clock::now();
    if (result != base::Outcome::Success) {
      state.SkipWithError("the run failed");
      return;
    }
    // The wire bound from what crossed the line; the flash phase is its blocks and acknowledgements.
    double wire = 0;
    double flashWire = 0;
    for (const auto& e : host.exchanges()) {
      const double t = wireSeconds(e.bytes.size(), e.rate);
      wire += t;
      const bool block = e.bytes.size() == 137 && e.bytes[3] == isp::kAreaFlash;
      const bool ack = e.direction == emulator::serial::Exchange::Direction::FromDevice && e.bytes.size() == 6 &&
                       e.at >= sink.flashStart && e.at <= sink.flashEnd;
      if (block || ack) flashWire += t;
    }
    // The waits of the baud switch (timers 6 and 7, close-reopen, the bootloader's two pauses) and
    // the first synchronisation period.
    const double waits = (10 + 10 + 100 + 100 + 16) / 1000.0;
    const double total = std::chrono::duration<double>(end - start).count();
    const double flash = std::chrono::duration<double>(sink.flashEnd - sink.flashStart).count();
    state.SetIterationTime(total);
    totals["total_s"] += total;
    totals["bound_s"] += wire + waits;
    totals["flash_s"] += flash;
    totals["flash_bound_s"] += flashWire;
    totals["rate"] = host.deviceRate();
  }
  const double n = static_cast<double>(state.iterations());
  for (const auto& [name, value] : totals) state.counters[name] = name == "rate" ? value : value / n;
  state.counters["total_over_bound_pct"] = (totals["total_s"] / totals["bound_s"] - 1.0) * 100.0;
  state.counters["flash_over_bound_pct"] = (totals["flash_s"] / totals["flash_bound_s"] - 1.0) * 100.0;
}
BENCHMARK(BM_Program64KiB)->Arg(8)->Arg(11)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// An engine in state 6 whose link takes frames and drops them.
class NullLink final : public isp::engine::IspLink {
 public:
  bool configured() const override { return true; }
  bool isOpen() const override { return open_; }
  bool open(std::uint32_t) override { return open_ = true; }
  void close() override { open_ = false; }
  bool send(isp::Bytes frame) override {
    benchmark::DoNotOptimize(frame.data());
    last = frame.size();
    return open_;
  }
  bool hasError() const override { return false; }
  std::size_t last = 0;

 private:
  bool open_ = false;
};

class NullSink final : public isp::engine::IspSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onProgressRange(int, int) override {}
  void onProgress(int) override {}
  void onControlsEnabled(bool) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  void onFinished(Outcome) override {}
  void onProgrammerInfo(const isp::ProgrammerInfo&, isp::engine::VersionQuery) override {}
};

void feed(isp::engine::IspEngine& e, const isp::Frame& f) {
  for (std::uint8_t b : f) e.OnByte(b);
}

void toFlashPhase(isp::engine::IspEngine& e, base::ManualTimers& timers, const IspJob& job) {
  e.StartProgram(job);
  feed(e, isp::syncAnswerReply(0x5A));
  feed(e, isp::baudAnswerReply(0, 8));
  timers.advance(std::chrono::milliseconds(20));
  feed(e, isp::lineTestPattern());
  feed(e, isp::ackReply(0));  // ProgramStart
  feed(e, isp::ackReply(0));  // Erase
}

void BM_EngineBlock(benchmark::State& state) {
  NullLink link;
  NullSink sink;
  base::ManualTimers timers;
  isp::engine::IspEngine engine(link, sink, timers);
  timers.setHandler([&](int id) { engine.OnTimer(id); });
  const IspJob job = job64k(8);
  const isp::Frame ack = isp::ackReply(0);
  toFlashPhase(engine, timers, job);
  for (auto _ : state) {
    if (engine.state() != 6) {
      state.PauseTiming();
      engine.Cancel();
      toFlashPhase(engine, timers, job);
      state.ResumeTiming();
    }
    feed(engine, ack);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_EngineBlock);

}  // namespace
