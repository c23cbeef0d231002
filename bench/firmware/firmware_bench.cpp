// Loading 128 KiB of Intel HEX by each reader and through the whole loader, and parsing the
// embedded catalogue: the work the window does on every file drop and at start.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

#include "base/strformat.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/hex.hpp"
#include "firmware/loader.hpp"

namespace {

constexpr std::size_t kImageSize = 128 * 1024;

std::string record(std::uint16_t address, std::uint8_t type, const std::uint8_t* data, std::size_t n) {
  std::string line = base::format(":%02X%04X%02X", static_cast<unsigned>(n), address, type);
  unsigned sum = static_cast<unsigned>(n) + (address >> 8) + (address & 0xFF) + type;
  for (std::size_t i = 0; i < n; ++i) {
    line += base::format("%02X", data[i]);
    sum += data[i];
  }
  return line + base::format("%02X\n", (0x100 - (sum & 0xFF)) & 0xFF);
}

// 16-byte records with an extended linear address record at every 64 KiB, as compilers write them.
const std::string& hexText() {
  static const std::string text = [] {
    std::string t;
    std::uint8_t row[16];
    for (std::size_t at = 0; at < kImageSize; at += sizeof row) {
      if (at % 0x10000 == 0) {
        const std::uint8_t upper[2] = {0, static_cast<std::uint8_t>(at >> 16)};
        t += record(0, 0x04, upper, 2);
      }
      for (std::size_t i = 0; i < sizeof row; ++i) row[i] = static_cast<std::uint8_t>(at * 7 + i);
      t += record(static_cast<std::uint16_t>(at), 0x00, row, sizeof row);
    }
    return t + ":00000001FF\n";
  }();
  return text;
}

class NullSink final : public firmware::LoadSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  void checksumLabel(const std::string&) override {}
  void fileSizeLabel(const std::string&) override {}
  void showImage(std::span<const std::uint8_t> bytes) override { benchmark::DoNotOptimize(bytes.data()); }
  void fileNameField(const std::string&) override {}
};

void HexByAddress(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(firmware::ReadHexByAddress(hexText(), kImageSize));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hexText().size()));
}
BENCHMARK(HexByAddress)->Unit(benchmark::kMillisecond);

void HexStrict(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(firmware::ParseHexStrictText(hexText()));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hexText().size()));
}
BENCHMARK(HexStrict)->Unit(benchmark::kMillisecond);

void HexStream(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(firmware::ParseHexStream(std::string_view(hexText())));
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * hexText().size()));
}
BENCHMARK(HexStream)->Unit(benchmark::kMillisecond);

// The whole load as the window runs it, file read included, for a 128 KB model.
void LoadHexFile(benchmark::State& state) {
  const std::filesystem::path path =
      std::filesystem::temp_directory_path() / ("qx_bench_" + std::to_string(::getpid()) + ".hex");
  std::ofstream(path, std::ios::binary) << hexText();
  firmware::McuPtr model;
  for (const firmware::McuPtr& m : firmware::Catalogue()) {
    if (m->flashSize == kImageSize && !model) model = m;
  }
  if (!model) {
    state.SkipWithError("no 128 KB model in the catalogue");
    return;
  }
  firmware::LoadTarget target;
  target.modelCode = firmware::TypeIndex(*model);
  NullSink sink;
  firmware::ProgramImage probe;
  if (!firmware::LoadProgramFile(path, firmware::ProgramFileKind::Hex, target, probe, sink)) {
    state.SkipWithError("the file was refused");
    return;
  }
  for (auto _ : state) {
    firmware::ProgramImage image;
    benchmark::DoNotOptimize(firmware::LoadProgramFile(path, firmware::ProgramFileKind::Hex, target, image, sink));
  }
  std::filesystem::remove(path);
}
BENCHMARK(LoadHexFile)->Unit(benchmark::kMillisecond);

void CatalogueParse(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(firmware::LoadCatalogue());
}
BENCHMARK(CatalogueParse)->Unit(benchmark::kMillisecond);

}  // namespace
