// Host cost of the programmer protocol: one exchange (framing, TEA both ways, the emulated
// device's answer) and writeCacheRange over 128 KiB, on a manual clock so that no wait is real.
#include <benchmark/benchmark.h>

#include <vector>

#include "device/tool.hpp"
#include "emulator/programmer/emulated_programmer.hpp"

namespace {

namespace ep = emulator::programmer;

std::shared_ptr<qx::QUBRIXTool> quietTool(std::shared_ptr<ep::EmulatedProgrammer>& device) {
  device = ep::EmulatedProgrammer::create();
  device->setLogging(false);
  auto tool = std::make_shared<qx::QUBRIXTool>(device->attach());
  tool->link()->open();
  return tool;
}

void BM_OneExchange(benchmark::State& state) {
  std::shared_ptr<ep::EmulatedProgrammer> device;
  auto tool = quietTool(device);
  for (auto _ : state) benchmark::DoNotOptimize(tool->screenProgress(50));
}
BENCHMARK(BM_OneExchange);

void BM_WriteCacheRange128KiB(benchmark::State& state) {
  std::shared_ptr<ep::EmulatedProgrammer> device;
  auto tool = quietTool(device);
  std::vector<std::uint8_t> image(128 * 1024);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  for (auto _ : state) benchmark::DoNotOptimize(tool->writeCacheRange(image));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * image.size()));
}
BENCHMARK(BM_WriteCacheRange128KiB)->Unit(benchmark::kMillisecond);

}  // namespace
