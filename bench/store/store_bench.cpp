// Adding a 64 KiB program to the emulated programmer's store, on a manual clock: the number of
// exchanges and the host's CPU time per exchange (reading the file, the verify code, framing, TEA
// both ways, and the emulated device's answer, which runs in the same process).
#include <benchmark/benchmark.h>
#include <time.h>

#include <filesystem>
#include <fstream>

#include "device/enumerate.hpp"
#include "device/store/store_session.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "firmware/catalogue.hpp"

namespace {

namespace ep = emulator::programmer;

class QuietSink final : public store::StoreSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  void onListing(const std::vector<store::StoreRow>&, const store::StoreButtons&) override {}
};

double cpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

void BM_Add64KiB(benchmark::State& state) {
  auto device = ep::EmulatedProgrammer::create();
  qx::setHardwareEnumeration(false);
  const int provider = qx::addDeviceProvider([device] { return std::vector<std::shared_ptr<qx::Interface>>{device->attach()}; });
  const std::filesystem::path file = std::filesystem::temp_directory_path() / "qubrix_store_bench.bin";
  {
    std::ofstream out(file, std::ios::binary);
    for (std::size_t i = 0; i < 64 * 1024; ++i) out.put(static_cast<char>(i * 7 + 3));
  }
  QuietSink sink;
  store::StoreSession session(firmware::Catalogue(), sink);
  const store::AddRequest request{file, firmware::FindByName("QB59W128"), 0};
  const std::vector<std::string> name{"qubrix_store_bench"};

  // One counted add for the number of exchanges, then the timed ones without the log.
  if (session.add(request) != base::Outcome::Success) state.SkipWithError("the add failed");
  const auto exchanges = static_cast<double>(device->log().size());
  session.remove(name);
  device->setLogging(false);
  double cpu = 0;
  for (auto _ : state) {
    const double start = cpuSeconds();
    benchmark::DoNotOptimize(session.add(request));
    cpu += cpuSeconds() - start;
    state.PauseTiming();
    session.remove(name);
    state.ResumeTiming();
  }
  qx::removeDeviceProvider(provider);
  std::filesystem::remove(file);
  state.counters["exchanges"] = exchanges;
  state.counters["cpu_us_per_exchange"] = cpu * 1e6 / (exchanges * static_cast<double>(state.iterations()));
  // What the add would take on a full-speed link at about 1 ms per exchange.
  state.counters["link_s_at_1ms"] = exchanges / 1000.0;
}
BENCHMARK(BM_Add64KiB)->Unit(benchmark::kMillisecond);

}  // namespace
