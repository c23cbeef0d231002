// The same 64 KiB serial run from the window (offscreen, the ISP panel's Program) and without one
// (IspRunner, as `qubrix isp`), each into an emulated bootloader on a pseudo-terminal with wire
// pacing and no processing time of its own. Counters: the run's seconds, the window's over the
// headless one, and the longest the user-interface thread went without handling a 5 ms timer.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QPushButton>
#include <QTimer>

#include <chrono>
#include <cstdlib>
#include <fstream>

#include "app/common/app_settings.hpp"
#include "base/texts.hpp"
#include "emulator/serial/chip_bootloader.hpp"
#include "emulator/serial/port_registry.hpp"
#include "emulator/serial/pty_host.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/loader.hpp"
#include "isp/engine/job_from_image.hpp"
#include "isp/engine/runner.hpp"
#include "tests/support/temp_home.hpp"
#include "ui/main/isp_panel.hpp"
#include "ui/main/main_window.hpp"

namespace {

using Clock = std::chrono::steady_clock;
constexpr const char* kModel = "QB59H64";  // family type 0x300, 64 KiB
constexpr std::size_t kDataLength = 65535;  // the most a 2-byte data length carries

emulator::serial::ChipConfig chipFor(const firmware::MCU& model) {
  emulator::serial::ChipConfig c;
  c.familyType = model.mcuType;
  c.modelId = model.model;
  c.flashSize = model.flashSize;
  c.eraseChipTime = c.erasePageTime = c.blockWriteTime = c.checksumTimePerKib = {};
  return c;
}

class QuietSink final : public isp::engine::IspSink, public firmware::LineLoadSink {
 public:
  void onLog(const std::string&, base::LogColour) override {}
  void onMessage(const std::string&, const std::string&, base::MessageIcon) override {}
  void onProgressRange(int, int) override {}
  void onProgress(int) override {}
  void onControlsEnabled(bool) override {}
  void onFinished(base::Outcome o) override { outcome = o; }
  void onProgrammerInfo(const isp::ProgrammerInfo&, isp::engine::VersionQuery) override {}
  base::Outcome outcome = base::Outcome::Failed;
};

std::filesystem::path imageFile(const std::filesystem::path& dir) {
  const auto path = dir / "image64k.bin";
  std::ofstream out(path, std::ios::binary);
  for (std::size_t i = 0; i < kDataLength; ++i) out.put(static_cast<char>(i * 31 + (i >> 8)));
  return path;
}

double headlessRun(const firmware::McuPtr& mcu, const std::filesystem::path& file) {
  const firmware::MCU& model = *mcu;
  emulator::serial::PtyHost host(std::make_unique<emulator::serial::ChipBootloader>(chipFor(model)));
  if (!host.start()) return -1;
  QuietSink sink;
  firmware::ProgramImage image;
  firmware::LoadTarget target;
  target.modelCode = firmware::TypeIndex(model);
  if (!firmware::LoadProgramFile(file, firmware::ProgramFileKind::Bin, target, image, sink)) return -1;
  const auto job = isp::engine::jobFromSource({image, mcu, nullptr}, {});
  isp::engine::IspRunner runner(sink, {host.path(), std::chrono::seconds(30)});
  const auto start = Clock::now();
  const auto result = runner.program(job);
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  return result == base::Outcome::Success ? seconds : -1;
}

struct WindowRun {
  double seconds = -1;
  double longestGapMs = 0;
};

WindowRun windowRun(const firmware::MCU& model, const std::filesystem::path& file) {
  emulator::serial::PtyHost host(std::make_unique<emulator::serial::ChipBootloader>(chipFor(model)));
  if (!host.start()) return {};
  emulator::serial::announcePorts({{host.path(), "pts", host.productName(), 0, 0, true}});
  CQX58KT_UPGRADEDlg window;
  const firmware::McuList& list = firmware::Catalogue();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i]->name == model.name) window.SelectModelCommand(CQX58KT_UPGRADEDlg::kModelCommandBase + static_cast<int>(i));
  }
  window.show();
  if (!window.OpenProgramFile(file.string(), false)) return {};
  CUpdataModeDlg& panel = *window.ispPanel();
  panel.rebuildPortList();
  panel.selectPortEntry(host.path());

  // The window's own event loop runs the operation, as in the application.
  QEventLoop loop;
  base::Outcome outcome = base::Outcome::Failed;
  QObject::connect(&panel, &CUpdataModeDlg::runEnded, [&](base::Outcome o) {
    outcome = o;
    loop.quit();
  });
  // The user-interface thread's latency: the longest stretch between two firings of a 5 ms timer.
  QElapsedTimer sinceTick;
  double longest = 0;
  QTimer tick;
  tick.setTimerType(Qt::PreciseTimer);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    longest = std::max(longest, static_cast<double>(sinceTick.nsecsElapsed()) / 1e6 - 5.0);
    sinceTick.restart();
  });
  const auto start = Clock::now();
  sinceTick.start();
  tick.start(5);
  QTimer::singleShot(0, [&window] { window.findChild<QPushButton*>(QStringLiteral("programButton"))->click(); });
  loop.exec();
  const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  tick.stop();
  emulator::serial::withdrawPorts({host.path()});
  if (outcome != base::Outcome::Success) return {};
  return {seconds, longest};
}

void BM_WindowAgainstHeadless64KiB(benchmark::State& state) {
  testsupport::TempHome home;
  const firmware::McuPtr model = firmware::FindByName(kModel);
  const auto file = imageFile(home.path());
  double window = 0, headless = 0, gap = 0;
  for (auto _ : state) {
    const double h = headlessRun(model, file);
    const WindowRun w = windowRun(*model, file);
    if (h < 0 || w.seconds < 0) {
      state.SkipWithError("a run failed");
      return;
    }
    headless += h;
    window += w.seconds;
    gap = std::max(gap, w.longestGapMs);
    state.SetIterationTime(w.seconds);
  }
  const double n = static_cast<double>(state.iterations());
  state.counters["headless_s"] = headless / n;
  state.counters["window_s"] = window / n;
  state.counters["window_over_headless"] = window / headless;
  state.counters["ui_longest_gap_ms"] = gap;
}
BENCHMARK(BM_WindowAgainstHeadless64KiB)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  ::setenv("QUBRIX_EMULATE", "1", 1);
  base::setThreadLanguage(base::kLangEnglish);
  QApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
