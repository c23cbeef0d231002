// qubrix-tool verify|erase: the job without a window. Log lines go to stdout (and with -l to the
// log file), message boxes to stderr; the exit status is 0 only on success. SIGINT, SIGTERM and
// SIGHUP cancel the job as the window's Cancel would (target off, programmer closed), exit 128 + it.
#include <cstdio>
#include <string>

#include "app/common/job_signals.hpp"
#include "app/tool/modes.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/log_file.hpp"
#include "device/jobs/worker.hpp"
#include "emulator/programmer/bench.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/job_source.hpp"

namespace tool {
namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;

class PrintSink final : public usbjobs::UsbJobSink, public firmware::LineLoadSink {
 public:
  explicit PrintSink(usbjobs::LogFile& log) : log_(log) {}

  void onLog(const std::string& line, base::LogColour) override {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
    log_.append(line + "\n");
  }
  void onProgress(int) override {}
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    log_.append(caption + ": " + text + "\n");
  }
  void onPowerButton(usbjobs::PowerIcon, const std::string&) override {}

 private:
  usbjobs::LogFile& log_;
};

}  // namespace

int runHeadless(const CommandLineRequest& request) {
  // Made before the job's first thread, which inherits its signal mask.
  app::JobSignals signals;
  emulator::programmer::attachBenchFromEnvironment();
  usbjobs::LogFile log(request.logFile);
  if (!log.ok()) std::fprintf(stderr, "qubrix-tool: cannot append to the log file %s\n", request.logFile.c_str());
  PrintSink sink(log);
  const bool verify = request.mode == kModeVerify;
  firmware::McuPtr model;
  usbjobs::UsbJob job;
  if (verify) {
    // A production file names its own model and carries the locks the job checks.
    const firmware::LoadRequest load{request.file, request.target, firmware::LoadMode::Isp, nullptr};
    const firmware::LoadedProgram program = firmware::LoadForJob(load, sink);
    if (!program.loaded()) {
      const bool unreadable =
          program.refusal == firmware::LoadRefusal::NotLoaded || program.refusal == firmware::LoadRefusal::UnknownKind;
      sink.onLog((unreadable ? "--> " : "") + firmware::RefusalText(program, load), base::LogColour::Error);
      return unreadable ? kFailed : kUsage;
    }
    model = program.model;
    job = usbjobs::jobFromSource(program.source(), false);
  } else {
    model = firmware::FindByName(request.target);
    if (model == nullptr) {
      sink.onLog(base::format(base::text("firmware.cli.unknown_model").c_str(), request.target.c_str()),
                 base::LogColour::Error);
      return kUsage;
    }
  }
  if (signals.received() != 0) return signals.exitStatus(kFailed);
  usbjobs::JobThread worker(base::threadLanguage(), [&](const std::atomic<bool>& running) {
    return verify ? usbjobs::runVerify(job, sink, running) : usbjobs::runErase(*model, sink, running);
  });
  signals.onCancel([&worker] { worker.cancel(); });
  const base::Outcome outcome = worker.wait();
  signals.clearCancel();
  return signals.exitStatus(outcome == base::Outcome::Success ? kOk : kFailed);
}

}  // namespace tool
