// The largest production file (128 KiB of data plus its header) and one update run's settings.
#include <benchmark/benchmark.h>

#include <vector>

#include "firmware/cipher/tea.hpp"
#include "firmware/cipher/update_service.hpp"
#include "firmware/production/header.hpp"

namespace {

void BM_TeaEncryptLargestImage(benchmark::State& state) {
  std::vector<std::uint8_t> data(128 * 1024 + 256, 0x5A);
  for (auto _ : state) {
    cipher::TeaEncrypt(data.data(), data.size(), cipher::kBuiltInTeaKey);
    benchmark::DoNotOptimize(data.data());
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * data.size()));
}
BENCHMARK(BM_TeaEncryptLargestImage);

void BM_DecipherUpdateSettings(benchmark::State& state) {
  for (auto _ : state) {
    benchmark::DoNotOptimize(cipher::updateServiceHost());
    benchmark::DoNotOptimize(cipher::updateServiceUser());
    benchmark::DoNotOptimize(cipher::updateServicePassword());
  }
}
BENCHMARK(BM_DecipherUpdateSettings);

void BM_HeaderEncodeDecode(benchmark::State& state) {
  firmware::MCU mcu;
  mcu.name = "QX51F6432";
  production::ProductionSettings settings;
  production::Rand15 random(1);
  for (auto _ : state) {
    auto file = production::encodeHeader(
        production::makeHeader(production::FileKind::EncryptedProgram, settings, mcu, 0x2105, 0, 4096, random));
    auto decoded = production::decodeHeader(file.data(), file.size(), production::FileKind::EncryptedProgram);
    benchmark::DoNotOptimize(decoded);
  }
}
BENCHMARK(BM_HeaderEncodeDecode);

}  // namespace
