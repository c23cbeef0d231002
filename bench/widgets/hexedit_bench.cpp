// Repaint of the hex editor as a buffer page shows it. The cost should not depend on how much
// data the editor holds, only on the rows in view.
#include <QApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <vector>

#include "widgets/hexeditbase.hpp"

namespace {

// range(0): data length; range(1): 1 to have the whole data selected.
void BM_HexEditRepaint(benchmark::State& state) {
  const auto length = static_cast<std::size_t>(state.range(0));
  std::vector<std::uint8_t> bytes(length);
  for (std::size_t i = 0; i < length; ++i) {
    bytes[i] = static_cast<std::uint8_t>(i * 7);
  }
  CHexEditBase editor;
  editor.SetAddressDigits(5);
  editor.SetShowAddress(true);
  editor.SetBytesPerRow(16);
  editor.SetShowAscii(true);
  editor.SetData(bytes.data(), bytes.size());
  editor.resize(640, 380);
  editor.show();
  editor.setFocus();
  QApplication::processEvents();
  editor.SetCaret(length / 2);
  if (state.range(1) != 0) {
    editor.SelectAll();
  }
  QImage target(editor.viewport()->size(), QImage::Format_RGB32);
  for (auto _ : state) {
    editor.viewport()->render(&target);
    benchmark::DoNotOptimize(target.constBits());
  }
  state.counters["rows"] = static_cast<double>(editor.GetLayout().rowsShown);
}

BENCHMARK(BM_HexEditRepaint)
    ->ArgNames({"bytes", "selected"})
    ->Args({1024, 0})
    ->Args({128 * 1024, 0})
    ->Args({1024, 1})
    ->Args({128 * 1024, 1})
    ->Unit(benchmark::kMicrosecond);

}  // namespace
