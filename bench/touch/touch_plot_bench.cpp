// The live plot's cost. BM_PlotFrame: one frame painted into an image from 10 s of samples of 48
// channels at 100 per second, with 1, 4 or all 48 channels shown (at ~30 frames a second the CPU
// share of one core is 3 % per millisecond of frame). BM_TouchModeLive: the window in Touch debug
// mode over the emulated 48-channel target, polled every 10 ms, for 10 s with the plot showing all
// 48 channels (arg 1) or hidden (arg 0): the lateness of a 5 ms probe timer on the user-interface
// thread (p50/p99/max, ms) and that thread's CPU share of one core.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QImage>
#include <QListWidget>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <ctime>
#include <random>

#include "device/touch_debug.hpp"
#include "emulator/programmer/emulated_programmer.hpp"
#include "touch/sample_history.hpp"
#include "ui/main/main_window.hpp"
#include "ui/touch/touch_mode_dlg.hpp"
#include "ui/touch/touch_plot.hpp"
#include "ui/touch/touch_plot_view.hpp"

namespace {

namespace ep = emulator::programmer;
constexpr std::size_t kChannels = 48;

double threadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// 10 s at 100 samples a second of noisy channels with slow baselines and a few presses.
void fill(touch::SampleHistory& history) {
  std::mt19937 noise(7);
  std::normal_distribution<double> jitter(0, 3);
  touch::ChannelModel m;
  m.reset(kChannels);
  for (std::size_t c = 0; c < kChannels; ++c) m.numbers[c] = static_cast<std::uint8_t>(c);
  for (int i = 0; i < 1000; ++i) {
    for (std::size_t c = 0; c < kChannels; ++c) {
      const bool pressed = (i / 100 + static_cast<int>(c)) % 7 == 0 && i % 100 < 40;
      m.baselines[c] = static_cast<std::uint16_t>(1800 + 20 * c + i / 50);
      m.currents[c] = static_cast<std::uint16_t>(m.baselines[c] - (pressed ? 250 : 0) + jitter(noise));
      m.differences[c] = touch::difference(m.baselines[c], m.currents[c]);
      m.thresholds[c] = 120;
    }
    history.add(m, base::Millis(10 * i));
  }
}

void BM_PlotFrame(benchmark::State& state) {
  touch::SampleHistory history(base::Millis(30000), 3840);
  fill(history);
  CTouchPlot plot(history);
  plot.resize(700, 250);
  std::vector<std::size_t> shown(static_cast<std::size_t>(state.range(0)));
  for (std::size_t c = 0; c < shown.size(); ++c) shown[c] = c;
  plot.setChannels(shown);
  QImage image(plot.size(), QImage::Format_RGB32);
  const double cpuBefore = threadCpuSeconds();
  for (auto _ : state) {
    plot.render(&image);
    benchmark::DoNotOptimize(image.constBits());
  }
  // CPU seconds per frame × 30 frames × 100 %.
  state.counters["share@30fps_%"] = (threadCpuSeconds() - cpuBefore) / static_cast<double>(state.iterations()) * 3000.0;
}
BENCHMARK(BM_PlotFrame)->Arg(1)->Arg(4)->Arg(48)->Unit(benchmark::kMillisecond);

void BM_TouchModeLive(benchmark::State& state) {
  const bool plotOn = state.range(0) != 0;
  ep::Config board;
  board.touchChannels = static_cast<int>(kChannels);
  const auto device = ep::EmulatedProgrammer::create(board);
  device->setLogging(false);
  const auto link = device->attach();
  CQX58KT_UPGRADEDlg::Services services;
  services.touchTool = [link] { return std::make_shared<qx::TouchDebug>(link); };
  services.message = [](const std::string&, const std::string&, base::MessageIcon) {};
  CQX58KT_UPGRADEDlg window(std::move(services));
  window.show();
  window.SwitchMode(2);
  window.touchPlot()->setVisible(plotOn);
  window.findChild<QPushButton*>(QStringLiteral("touchConnect"))->click();
  QElapsedTimer waited;
  waited.start();
  while (window.touchPanel()->History().size() == 0 && waited.elapsed() < 10000)
    QApplication::processEvents(QEventLoop::AllEvents, 10);
  if (window.touchPanel()->History().channels() != kChannels) {
    state.SkipWithError("the emulated target sent no samples of 48 channels");
    return;
  }
  auto* list = window.findChild<QListWidget*>(QStringLiteral("touchPlotChannels"));
  for (int row = 0; row < list->count(); ++row) list->item(row)->setCheckState(Qt::Checked);

  std::vector<double> lateMs;
  std::size_t samples = 0;
  double cpu = 0;
  double wall = 0;
  for (auto _ : state) {
    const std::size_t generationBefore = window.touchPanel()->History().generation();
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QElapsedTimer clock;
    qint64 expected = 5;
    QObject::connect(&probe, &QTimer::timeout, [&] {
      const qint64 now = clock.elapsed();
      lateMs.push_back(static_cast<double>(std::max<qint64>(0, now - expected)));
      expected = now + 5;
    });
    QEventLoop loop;
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    const double cpuBefore = threadCpuSeconds();
    clock.start();
    probe.start(5);
    loop.exec();
    wall += static_cast<double>(clock.elapsed()) / 1000.0;
    cpu += threadCpuSeconds() - cpuBefore;
    samples += window.touchPanel()->History().generation() - generationBefore;
  }
  std::sort(lateMs.begin(), lateMs.end());
  const auto at = [&](double q) {
    return lateMs.empty() ? 0.0 : lateMs[static_cast<std::size_t>(q * static_cast<double>(lateMs.size() - 1))];
  };
  state.counters["late_p50_ms"] = at(0.50);
  state.counters["late_p99_ms"] = at(0.99);
  state.counters["late_max_ms"] = lateMs.empty() ? 0.0 : lateMs.back();
  state.counters["ui_cpu_%"] = 100.0 * cpu / wall;
  state.counters["samples/s"] = static_cast<double>(samples) / wall;
}
BENCHMARK(BM_TouchModeLive)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace
