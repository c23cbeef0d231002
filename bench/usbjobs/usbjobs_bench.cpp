// 128 KiB programmed and verified through the emulated programmer for each erase-unit
// configuration, on a manual clock: the host's CPU time per exchange (framing, TEA both ways, the
// job's own work, and the emulated device's answer, which runs in the same process).
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>

#include "device/enumerate.hpp"
#include "device/jobs/jobs.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "firmware/catalogue.hpp"

namespace {

namespace ep = emulator::programmer;

class QuietSink final : public usbjobs::UsbJobSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onProgress(int) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  void onPowerButton(usbjobs::PowerIcon, const std::string&) override {}
};

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

usbjobs::UsbJob image128KiB() {
  usbjobs::UsbJob job;
  job.model = firmware::FindByName("QB59W128");
  job.mcuTypeIndex = firmware::TypeIndex(*job.model);
  job.bytes.resize(128 * 1024);
  for (std::size_t i = 0; i < job.bytes.size(); ++i) job.bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  job.programLength = static_cast<std::int64_t>(job.bytes.size());
  job.dataLength = job.bytes.size();
  return job;
}

// Arguments: erase units (0 A, 1 B, 2 none), unit size, erase the whole chip.
void BM_ProgramAndVerify128KiB(benchmark::State& state) {
  ep::Config config;
  config.eraseUnits = static_cast<ep::EraseUnits>(state.range(0));
  config.eraseUnitSize = static_cast<std::uint16_t>(state.range(1));
  auto device = ep::EmulatedProgrammer::create(config);
  qx::setHardwareEnumeration(false);
  const int provider = qx::addDeviceProvider([device] { return std::vector<std::shared_ptr<qx::Interface>>{device->attach()}; });
  usbjobs::UsbJob job = image128KiB();
  job.eraseChip = state.range(2) != 0;
  QuietSink sink;
  const std::atomic<bool> running{true};

  // One counted run for the number of exchanges, then the timed ones without the log.
  if (usbjobs::runProgram(job, sink, running) != base::Outcome::Success) state.SkipWithError("the run failed");
  const auto exchanges = static_cast<double>(device->log().size());
  device->setLogging(false);
  double cpu = 0;
  for (auto _ : state) {
    const double start = cpuSeconds();
    benchmark::DoNotOptimize(usbjobs::runProgram(job, sink, running));
    cpu += cpuSeconds() - start;
  }
  qx::removeDeviceProvider(provider);
  state.counters["exchanges"] = exchanges;
  state.counters["cpu_us_per_exchange"] = cpu * 1e6 / (exchanges * static_cast<double>(state.iterations()));
  // What the run would take on a full-speed link at about 1 ms per exchange.
  state.counters["link_s_at_1ms"] = exchanges / 1000.0;
}
BENCHMARK(BM_ProgramAndVerify128KiB)
    ->ArgNames({"units", "size", "chip"})
    ->Args({2, 0, 0})
    ->Args({2, 0, 1})
    ->Args({1, 256, 0})
    ->Args({1, 256, 1})
    ->Args({0, 512, 0})
    ->Args({0, 512, 1})
    ->Args({0, 1024, 0})
    ->Args({0, 1024, 1})
    ->Unit(benchmark::kMillisecond);

}  // namespace
