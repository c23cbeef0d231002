// Time from nothing to the first painted main window. The first window of the process (with the
// application object, fonts and catalogue) is measured once as "cold"; the benchmark then repeats
// the construction and first paint of further windows.
#include <QApplication>
#include <QElapsedTimer>
#include <QEvent>

#include <benchmark/benchmark.h>

#include <memory>

#include "ui/main/main_window.hpp"

namespace {

class PaintWatch : public QObject {
 public:
  bool painted = false;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) painted = true;
    return false;
  }
};

void showUntilPainted() {
  CQX58KT_UPGRADEDlg window;
  PaintWatch watch;
  window.installEventFilter(&watch);
  window.show();
  while (!watch.painted) QApplication::processEvents(QEventLoop::AllEvents, 5);
}

double g_coldMs = 0;

void BM_WindowFirstPaint(benchmark::State& state) {
  for (auto _ : state) showUntilPainted();
  state.counters["cold_ms"] = g_coldMs;
}
BENCHMARK(BM_WindowFirstPaint)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QElapsedTimer cold;
  cold.start();
  QApplication app(argc, argv);
  showUntilPainted();
  g_coldMs = static_cast<double>(cold.nsecsElapsed()) / 1e6;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
