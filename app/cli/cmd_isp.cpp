// qubrix isp: Program or Check a chip through a serial port, by its bootloader or through the
// QUBRIX Tool as serial downloader, with the serial ISP engine and the log lines of the window.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/common/job_signals.hpp"
#include "app/cli/json.hpp"
#include "app/cli/terminal_progress.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "firmware/job_source.hpp"
#include "isp/engine/engine.hpp"
#include "isp/engine/job_from_image.hpp"
#include "isp/engine/runner.hpp"
#include "isp/frames.hpp"

namespace cli {
namespace {

constexpr const char* kSynopsis =
    "--port PATH [-t MODEL] [--check] [--erase-chip] [--json] FILE | --port PATH --query-version [--json]";
constexpr int kDefaultStallSeconds = 10;

// Log lines on stdout (errors in red on a terminal), message boxes on stderr, and a progress bar
// on stderr while it is a terminal; with --json nothing until the one result object.
class TerminalSink final : public isp::engine::IspSink, public firmware::LineLoadSink {
 public:
  explicit TerminalSink(bool json) : json_(json), colour_(::isatty(STDOUT_FILENO) != 0), bar_(false) {}

  // Both sinks.
  void onLog(const std::string& line, base::LogColour colour) override {
    log_.push_back({line, colour == base::LogColour::Error});
    if (json_) return;
    bar_.clear();
    const bool red = colour == base::LogColour::Error && colour_;
    std::printf("%s%s%s\n", red ? "\033[31m" : "", line.c_str(), red ? "\033[0m" : "");
    std::fflush(stdout);
    if (running_) bar_.update(percent_);
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    messages_.push_back(caption + (caption.empty() ? "" : ": ") + text);
    if (json_) return;
    bar_.clear();
    std::fprintf(stderr, "%s\n", messages_.back().c_str());
  }

  // The engine.
  void onProgressRange(int low, int high) override {
    low_ = low;
    high_ = high;
  }
  void onProgress(int position) override {
    if (!running_ || high_ <= low_ || json_) return;
    percent_ = (position - low_) * 100 / (high_ - low_);
    bar_.update(percent_);
  }
  void onControlsEnabled(bool enabled) override { running_ = !enabled; }
  void onFinished(base::Outcome) override {
    running_ = false;
    bar_.clear();
  }
  void onProgrammerInfo(const isp::ProgrammerInfo& info, isp::engine::VersionQuery) override {
    if (info.version) version_ = isp::versionText(*info.version);
    if (info.serial) serial_ = isp::serialText(*info.serial);
    if (json_) return;
    if (info.version) std::printf("%s\n", version_.c_str());
    if (info.serial) std::printf("%s\n", serial_.c_str());
  }

  // The version is asked right before an encrypted file is programmed.
  firmware::IspPortChoice ispPortChoice() override { return firmware::IspPortChoice::SerialPort; }

  // The run as one object: its fields, the programmer's answer if it gave one, and every line.
  std::string json(const std::string& model, const std::string& file, const std::string& port,
                   const std::string& result, int status) const {
    std::string out = "{\"verb\": \"isp\", \"model\": " + jsonString(model) + ", \"file\": " + jsonString(file) +
                      ", \"port\": " + jsonString(port) + ", \"result\": " + jsonString(result) +
                      ", \"exitStatus\": " + std::to_string(status);
    out += ", \"checksum\": " + (checksum_ ? jsonString(base::format("%08X", *checksum_)) : std::string("null"));
    out += ", \"size\": " + (size_ ? std::to_string(*size_) : std::string("null"));
    out += ", \"programmerVersion\": " + (version_.empty() ? std::string("null") : jsonString(version_));
    out += ", \"programmerSerial\": " + (serial_.empty() ? std::string("null") : jsonString(serial_));
    out += ", \"log\": [";
    for (std::size_t i = 0; i < log_.size(); ++i) {
      out += std::string(i == 0 ? "" : ", ") + "{\"text\": " + jsonString(log_[i].first) +
             ", \"error\": " + (log_[i].second ? "true" : "false") + "}";
    }
    out += "], \"messages\": [";
    for (std::size_t i = 0; i < messages_.size(); ++i) out += (i == 0 ? "" : ", ") + jsonString(messages_[i]);
    return out + "]}";
  }
  void setImage(std::uint32_t checksum, std::uint64_t size) {
    checksum_ = checksum;
    size_ = size;
  }

 private:
  bool json_;
  std::vector<std::pair<std::string, bool>> log_;
  std::vector<std::string> messages_;
  std::string version_;
  std::string serial_;
  std::optional<std::uint32_t> checksum_;
  std::optional<std::uint64_t> size_;
  bool colour_;
  TerminalProgress bar_;
  bool running_ = false;
  int low_ = 0;
  int high_ = 100;
  int percent_ = 0;
};

std::optional<int> seconds(const std::string& text) {
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 10);
  if (end == text.c_str() || *end != '\0' || v < 1 || v > 3600) return std::nullopt;
  return static_cast<int>(v);
}

int usageError(const Args& a, const std::string& message) {
  std::fprintf(stderr, "qubrix isp: %s\n%s", message.c_str(), a.usage("isp", kSynopsis).c_str());
  return kExitUsage;
}

const char* resultText(base::Outcome result, bool stalled) {
  switch (result) {
    case base::Outcome::Success:
      return "success";
    case base::Outcome::Cancelled:
      return "cancelled";
    case base::Outcome::Failed:
      break;
  }
  return stalled ? "stalled" : "failed";
}

}  // namespace

int runIsp(const std::vector<std::string>& args) {
  app::JobSignals signals;
  Args a(args, {
                   {"port", 0, true, "PATH  the serial port (qubrix ports lists them)"},
                   {"target", 't', true, "MODEL  the chip model (qubrix models lists them)"},
                   {"check", 0, false, "check the chip against the file instead of programming it"},
                   {"erase-chip", 0, false, "erase the whole flash before programming"},
                   {"upgrade-baud", 0, true, "RATE  the rate asked of a chip's bootloader (default: its own choice)"},
                   {"stall-timeout", 0, true, "SECONDS  give up a run that makes no progress this long (default 10)"},
                   {"query-version", 0, false, "only ask the QUBRIX Tool on the port for its firmware version"},
                   {"json", 0, false, "print one result object instead of the lines"},
               });
  if (auto done = finishParsing(a, "isp", kSynopsis)) return *done;
  const std::optional<std::string> port = a.value("port");
  if (!port) return usageError(a, "--port is required");
  int stall = kDefaultStallSeconds;
  if (auto s = a.value("stall-timeout")) {
    const auto v = seconds(*s);
    if (!v) return usageError(a, "--stall-timeout takes a number of seconds from 1 to 3600");
    stall = *v;
  }
  const bool json = a.has("json");
  TerminalSink sink(json);
  isp::engine::IspRunner runner(sink, {*port, std::chrono::seconds(stall)});
  signals.onCancel([&runner] { runner.cancel(); });
  std::string modelName;
  std::string file;
  const auto finish = [&](const std::string& result, int status) {
    if (json) std::printf("%s\n", sink.json(modelName, file, *port, result, status).c_str());
    return status;
  };
  const auto finishRun = [&](base::Outcome result) {
    return finish(resultText(result, runner.stalled()),
                  signals.exitStatus(result == base::Outcome::Success ? kExitOk : kExitFailed));
  };

  if (a.has("query-version")) {
    if (!a.positional().empty() || a.has("target")) return usageError(a, "--query-version takes no model or file");
    return runner.queryVersion() ? finish("success", kExitOk) : finish("failed", kExitFailed);
  }
  if (a.positional().size() != 1) return usageError(a, "one program file is required");
  isp::engine::JobOptions options;
  options.eraseChip = a.has("erase-chip");
  if (auto rate = a.value("upgrade-baud")) {
    char* end = nullptr;
    const unsigned long baud = std::strtoul(rate->c_str(), &end, 10);
    const auto code = *end == '\0' ? isp::codeForBaud(static_cast<std::uint32_t>(baud)) : std::nullopt;
    if (!code || *code == 0) return usageError(a, "--upgrade-baud takes one of the bootloaders' rates, 1200 to 1000000");
    options.upgradeBaudCode = *code;
  }

  // A production file names its own model; -t may then be left out.
  file = a.positional()[0];
  modelName = a.value("target").value_or("");
  const firmware::LoadRequest request{file, modelName, firmware::LoadMode::Isp, nullptr};
  const firmware::LoadedProgram program = firmware::LoadForJob(request, sink);
  if (!program.loaded()) {
    if (program.refusal == firmware::LoadRefusal::NotLoaded) return finish("failed", kExitFailed);
    return usageError(a, firmware::RefusalText(program, request));
  }
  if (program.model) modelName = program.model->name;
  sink.setImage(program.image.totalChecksum, program.image.dataLength);
  isp::engine::IspJob job = isp::engine::jobFromSource(program.source(), options);
  if (a.has("check")) return finishRun(runner.verify(std::move(job)));
  if (job.fromEncryptedFile) {
    // As the ISP panel: encrypted files only through a downloader that knows their limits.
    const auto info = runner.queryVersion();
    if (!isp::engine::encryptedFileAllowed(job, info ? info->version : std::nullopt)) {
      sink.onMessage(base::text(base::txt::kTip), base::text("isp.version_too_low"), base::MessageIcon::Warning);
      return finish("failed", kExitFailed);
    }
  }
  return finishRun(runner.program(std::move(job)));
}

}  // namespace cli
