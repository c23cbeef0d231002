// Received bytes handed one by one from a pseudo-terminal to the owner callback of CSerialPort:
// throughput with the line driven flat out, and the reader thread's CPU share at a paced 1 MB/s.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "isp/serial_port.hpp"

namespace {

using Clock = std::chrono::steady_clock;

double threadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Counts bytes like an engine would look at them, and samples the reader thread's CPU time.
class CountingSink : public isp::SerialPortSink {
 public:
  void expect(std::size_t n) {
    std::lock_guard lock(mutex_);
    expected_ = n;
    count_ = 0;
    sum_ = 0;
    cpuStart_ = -1;
  }
  void onSerialByte(std::uint8_t byte) override {
    if (count_ == 0) cpuStart_ = threadCpuSeconds();
    sum_ += byte;
    if (++count_ == expected_) {
      std::lock_guard lock(mutex_);
      cpuUsed_ = threadCpuSeconds() - cpuStart_;
      done_.notify_all();
    }
  }
  void onSerialMessage(const isp::SerialMessage&) override {}
  void onSerialErrorChanged(bool) override {}

  bool wait(std::chrono::seconds timeout) {
    std::unique_lock lock(mutex_);
    return done_.wait_for(lock, timeout, [&] { return count_ >= expected_; });
  }
  double cpuUsed() const { return cpuUsed_; }
  std::uint64_t sum() const { return sum_; }

 private:
  std::mutex mutex_;
  std::condition_variable done_;
  std::size_t expected_ = 0;
  std::atomic<std::size_t> count_{0};
  std::uint64_t sum_ = 0;
  double cpuStart_ = -1;
  double cpuUsed_ = 0;
};

struct Bench {
  int master = -1;
  int slave = -1;
  isp::CSerialPort port;
  CountingSink sink;

  bool open() {
    char name[256] = {};
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    return port.OpenAndConfigure(&sink, name, 921600) && port.StartWorker();
  }
  ~Bench() {
    port.Stop();
    if (master >= 0) close(master);
    if (slave >= 0) close(slave);
  }
  // Writes `total` bytes in `chunk` pieces; with `pace` > 0 one piece per pace period.
  void pump(std::size_t total, std::size_t chunk, std::chrono::microseconds pace) const {
    std::vector<std::uint8_t> data(chunk);
    for (std::size_t i = 0; i < chunk; ++i) data[i] = static_cast<std::uint8_t>(i * 7);
    auto next = Clock::now();
    for (std::size_t sent = 0; sent < total;) {
      const std::size_t n = std::min(chunk, total - sent);
      std::size_t done = 0;
      while (done < n) {
        const ssize_t w = write(master, data.data() + done, n - done);
        if (w > 0) {
          done += static_cast<std::size_t>(w);
        } else {
          pollfd p{master, POLLOUT, 0};
          poll(&p, 1, 100);
        }
      }
      sent += n;
      if (pace.count() > 0) {
        next += pace;
        std::this_thread::sleep_until(next);
      }
    }
  }
};

void run(benchmark::State& state, std::size_t total, std::size_t chunk, std::chrono::microseconds pace) {
  Bench bench;
  if (!bench.open()) {
    state.SkipWithError("no pseudo-terminal");
    return;
  }
  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    bench.sink.expect(total);
    const auto start = Clock::now();
    std::thread writer([&] { bench.pump(total, chunk, pace); });
    const bool all = bench.sink.wait(std::chrono::seconds(60));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    if (!all) {
      state.SkipWithError("bytes went missing");
      return;
    }
    state.SetIterationTime(seconds);
    cpu += bench.sink.cpuUsed();
    wall += seconds;
    benchmark::DoNotOptimize(bench.sink.sum());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * total));
  state.counters["reader_cpu_share"] = cpu / wall;
  state.counters["reader_cpu_ns_per_byte"] = cpu * 1e9 / static_cast<double>(state.iterations() * total);
}

// As fast as the pseudo-terminal goes: 4 MiB per iteration.
void BM_DeliverFlatOut(benchmark::State& state) { run(state, 4u << 20, 4096, std::chrono::microseconds(0)); }
BENCHMARK(BM_DeliverFlatOut)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// A sustained 1 MB/s line: 10 kB every 10 ms for 2 s.
void BM_DeliverAt1MBps(benchmark::State& state) { run(state, 2'000'000, 10'000, std::chrono::microseconds(10'000)); }
BENCHMARK(BM_DeliverAt1MBps)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

}  // namespace
