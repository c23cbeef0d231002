// qubrix-tool verify|erase: the job without a window. Log lines go to stdout (and with -l to the
// log file), message boxes to stderr; the exit status is 0 only on success.
#include <cstdio>
#include <string>

#include "app/tool/modes.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/log_file.hpp"
#include "device/jobs/worker.hpp"
#include "emulator/programmer/bench.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/loader.hpp"

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
  emulator::programmer::attachBenchFromEnvironment();
  usbjobs::LogFile log(request.logFile);
  if (!log.ok()) std::fprintf(stderr, "qubrix-tool: cannot append to the log file %s\n", request.logFile.c_str());
  PrintSink sink(log);
  const firmware::McuPtr model = firmware::FindByName(request.target);
  if (model == nullptr) {
    sink.onLog(base::format(base::text("firmware.cli.unknown_model").c_str(), request.target.c_str()),
               base::LogColour::Error);
    return kUsage;
  }
  usbjobs::UsbJob job;
  const bool verify = request.mode == kModeVerify;
  if (verify) {
    const auto kind = firmware::ProgramFileKindOfPath(request.file);
    firmware::ProgramImage image;
    if (!kind || !firmware::LoadProgramFile(request.file, *kind,
                                            {firmware::TypeIndex(*model), firmware::LoadMode::Isp, nullptr}, image, sink)) {
      sink.onLog("--> " + base::format(base::text("firmware.cli.not_loaded").c_str(), request.file.c_str()),
                 base::LogColour::Error);
      return kFailed;
    }
    job = usbjobs::usbJobFromImage(image, model, {}, false, false);
  }
  usbjobs::JobThread worker(base::threadLanguage(), [&](const std::atomic<bool>& running) {
    return verify ? usbjobs::runVerify(job, sink, running) : usbjobs::runErase(*model, sink);
  });
  return worker.wait() == usbjobs::Outcome::Success ? kOk : kFailed;
}

}  // namespace tool
