// Continuous receive over a pseudo-terminal from the emulated stream device (a counting pattern at
// the line's full speed), in hex display with packets on:
//   BM_PanelReceive  the window's serial panel: bytes received, pattern breaks (lost or reordered
//                    bytes), the UI thread's event-loop latency (p99, max) and the process's CPU
//                    share of one core;
//   BM_TermReceive   the same for `qubrix term`, run as a child process.
// The device runs in its own process, so its CPU is not counted. Each run lasts
// QUBRIX_BENCH_SECONDS (default 60) seconds; settings go to the XDG folders, so point them away:
//   XDG_CONFIG_HOME=$(mktemp -d) QT_QPA_PLATFORM=offscreen build/default/bin/qx_terminal_bench
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCheckBox>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ui/main/main_window.hpp"
#include "ui/serial/receive_pane.hpp"
#include "ui/serial/uart_test_dlg.hpp"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int seconds() {
  const char* s = std::getenv("QUBRIX_BENCH_SECONDS");
  const int v = s != nullptr ? std::atoi(s) : 0;
  return v > 0 ? v : 60;
}

// A child process with its stdout on a pipe.
struct Child {
  pid_t pid = -1;
  int out = -1;
};

Child spawn(const std::vector<std::string>& args, const char* stdoutFile = nullptr) {
  int pipeFds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (stdoutFile != nullptr) {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, stdoutFile, O_WRONLY | O_CREAT | O_TRUNC, 0644);
  } else if (::pipe(pipeFds) == 0) {
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
  }
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  Child c;
  if (posix_spawn(&c.pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) c.pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  if (pipeFds[1] >= 0) ::close(pipeFds[1]);
  c.out = pipeFds[0];
  return c;
}

// The stream device on a pseudo-terminal; its path is the first word it prints.
struct StreamDevice {
  StreamDevice() {
    child = spawn({QUBRIX_EMULATOR_BIN, "serial", "stream"});
    std::string line;
    char ch = 0;
    while (child.out >= 0 && ::read(child.out, &ch, 1) == 1 && ch != '\n') line += ch;
    path = line.substr(0, line.find('\t'));
  }
  ~StreamDevice() {
    if (child.pid > 0) {
      ::kill(child.pid, SIGTERM);
      ::waitpid(child.pid, nullptr, 0);
    }
    if (child.out >= 0) ::close(child.out);
  }
  Child child;
  std::string path;
};

struct Integrity {
  std::uint64_t bytes = 0;
  std::uint64_t breaks = 0;
};

// The counting pattern in the raw receive log. What came before the port took the device's rate
// (garbled bytes) is skipped: counting starts once 512 bytes in a row follow the pattern.
Integrity checkPattern(const std::filesystem::path& log) {
  std::ifstream in(log, std::ios::binary);
  const std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Integrity r;
  r.bytes = data.size();
  std::size_t run = 0;
  std::size_t i = 1;
  for (; i < data.size() && run < 512; ++i) {
    run = static_cast<std::uint8_t>(data[i]) == static_cast<std::uint8_t>(data[i - 1] + 1) ? run + 1 : 0;
  }
  for (; i < data.size(); ++i) {
    if (static_cast<std::uint8_t>(data[i]) != static_cast<std::uint8_t>(data[i - 1] + 1)) ++r.breaks;
  }
  if (run < 512) r.breaks = r.bytes;  // the pattern never showed
  return r;
}

double cpuSeconds(const rusage& u) {
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double percentile(std::vector<double> v, double p) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[static_cast<std::size_t>(p * static_cast<double>(v.size() - 1))];
}

void BM_PanelReceive(benchmark::State& state) {
  const auto baud = static_cast<int>(state.range(0));
  const auto log = std::filesystem::temp_directory_path() / ("qubrix-bench-panel-" + std::to_string(baud) + ".bin");
  for (auto _ : state) {
    StreamDevice device;
    if (device.path.empty()) {
      state.SkipWithError("no stream device");
      return;
    }
    CQX58KT_UPGRADEDlg window;
    window.show();
    window.SwitchMode(3);
    auto* panel = window.findChild<UartTestDlg*>(QStringLiteral("serialPanel"));
    window.findChild<QCheckBox*>(QStringLiteral("hexDisplayCheck"))->setChecked(true);
    window.findChild<QCheckBox*>(QStringLiteral("packetCheck"))->setChecked(true);
    panel->selectPort(device.path);
    panel->selectBaud(baud);
    std::filesystem::remove(log);
    panel->core().startLog(log);
    panel->core().openPort();

    // The event loop's latency: how late a 10 ms timer fires.
    std::vector<double> lateness;
    QElapsedTimer probeClock;
    probeClock.start();
    qint64 last = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
      const qint64 now = probeClock.nsecsElapsed();
      if (last != 0) lateness.push_back(std::max(0.0, static_cast<double>(now - last) / 1e6 - 10.0));
      last = now;
    });
    probe.start(10);

    auto* pane = window.findChild<CReceivePane*>(QStringLiteral("receiveView"));
    const int flushesBefore = pane->flushes();
    rusage before{};
    getrusage(RUSAGE_SELF, &before);
    const auto start = Clock::now();
    QEventLoop run;
    QTimer::singleShot(seconds() * 1000, &run, &QEventLoop::quit);
    run.exec();
    rusage after{};
    getrusage(RUSAGE_SELF, &after);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    probe.stop();
    panel->core().closePort();
    panel->core().stopLog();

    const Integrity r = checkPattern(log);
    state.counters["bytes"] = static_cast<double>(r.bytes);
    state.counters["bytes_per_s"] = static_cast<double>(r.bytes) / wall;
    state.counters["pattern_breaks"] = static_cast<double>(r.breaks);
    state.counters["cpu_pct"] = 100.0 * (cpuSeconds(after) - cpuSeconds(before)) / wall;
    state.counters["loop_p99_ms"] = percentile(lateness, 0.99);
    state.counters["loop_max_ms"] = percentile(lateness, 1.0);
    state.counters["pane_updates_per_s"] = (pane->flushes() - flushesBefore) / wall;
    std::filesystem::remove(log);
  }
}

void BM_TermReceive(benchmark::State& state) {
  const auto baud = static_cast<int>(state.range(0));
  const auto log = std::filesystem::temp_directory_path() / ("qubrix-bench-term-" + std::to_string(baud) + ".bin");
  for (auto _ : state) {
    StreamDevice device;
    if (device.path.empty()) {
      state.SkipWithError("no stream device");
      return;
    }
    std::filesystem::remove(log);
    const auto start = Clock::now();
    const Child term = spawn({QUBRIX_CLI_BIN, "term", "--port", device.path, "--baud", std::to_string(baud), "--hex",
                              "--packet", "50", "--duration", std::to_string(seconds()), "--log", log.string()},
                             "/dev/null");
    int status = 0;
    rusage usage{};
    ::wait4(term.pid, &status, 0, &usage);
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const Integrity r = checkPattern(log);
    state.counters["exit_status"] = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    state.counters["bytes"] = static_cast<double>(r.bytes);
    state.counters["bytes_per_s"] = static_cast<double>(r.bytes) / wall;
    state.counters["pattern_breaks"] = static_cast<double>(r.breaks);
    state.counters["cpu_pct"] = 100.0 * cpuSeconds(usage) / wall;
    std::filesystem::remove(log);
  }
}

BENCHMARK(BM_PanelReceive)->Arg(921600)->Arg(3000000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_TermReceive)->Arg(921600)->Arg(3000000)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
