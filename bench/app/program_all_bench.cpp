// `qubrix program --all` on 1, 2, 4 and 8 emulated programmers that keep the pace of real ones
// (reply delays on the system clock): 16 KiB programmed and verified by one job thread each, as the
// verb runs them. Wall time per run (compare with one programmer's) and the host's CPU time per
// exchange, which should not grow with the number of programmers.
#include <benchmark/benchmark.h>
#include <time.h>

#include <atomic>
#include <memory>
#include <vector>

#include "base/texts.hpp"
#include "device/enumerate.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/worker.hpp"
#include "emulator/programmer/clock.hpp"
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

usbjobs::UsbJob image16KiB() {
  usbjobs::UsbJob job;
  job.model = firmware::FindByName("QB51F16");
  job.mcuTypeIndex = firmware::TypeIndex(*job.model);
  job.bytes.resize(16 * 1024);
  for (std::size_t i = 0; i < job.bytes.size(); ++i) job.bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
  job.programLength = static_cast<std::int64_t>(job.bytes.size());
  job.dataLength = job.bytes.size();
  return job;
}

// Every programmer at once, each on its own job thread; true when all succeeded.
bool programAll(const std::vector<usbjobs::UsbJob>& jobs) {
  std::vector<QuietSink> sinks(jobs.size());
  std::vector<std::unique_ptr<usbjobs::JobThread>> workers;
  for (std::size_t i = 0; i < jobs.size(); ++i) {
    workers.push_back(std::make_unique<usbjobs::JobThread>(
        base::kLangEnglish, [&, i](const std::atomic<bool>& running) { return usbjobs::runProgram(jobs[i], sinks[i], running); }));
  }
  bool all = true;
  for (auto& w : workers) all = w->wait() == base::Outcome::Success && all;
  return all;
}

void BM_ProgramAll16KiB(benchmark::State& state) {
  const auto count = static_cast<std::size_t>(state.range(0));
  std::vector<std::shared_ptr<ep::EmulatedProgrammer>> devices;
  std::vector<usbjobs::UsbJob> jobs;
  for (std::size_t i = 0; i < count; ++i) {
    ep::Config config;
    config.delays = true;
    config.serial += static_cast<std::uint32_t>(i);
    devices.push_back(ep::EmulatedProgrammer::create(config, std::make_shared<ep::SystemClock>()));
    jobs.push_back(image16KiB());
    jobs.back().programmerSerial = std::to_string(config.serial);
  }
  qx::setHardwareEnumeration(false);
  const int provider = qx::addDeviceProvider([&devices] {
    std::vector<std::shared_ptr<qx::Interface>> found;
    for (const auto& d : devices) found.push_back(d->attach());
    return found;
  });

  // One counted run for the number of exchanges, then the timed ones without the log.
  if (!programAll(jobs)) state.SkipWithError("a run failed");
  double exchanges = 0;
  for (const auto& d : devices) {
    exchanges += static_cast<double>(d->log().size());
    d->setLogging(false);
  }
  double cpu = 0;
  for (auto _ : state) {
    const double start = cpuSeconds();
    if (!programAll(jobs)) state.SkipWithError("a run failed");
    cpu += cpuSeconds() - start;
  }
  qx::removeDeviceProvider(provider);
  state.counters["exchanges"] = exchanges;
  state.counters["cpu_us_per_exchange"] = cpu * 1e6 / (exchanges * static_cast<double>(state.iterations()));
}
BENCHMARK(BM_ProgramAll16KiB)->ArgName("programmers")->Arg(1)->Arg(2)->Arg(4)->Arg(8)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace
