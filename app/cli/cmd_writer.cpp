// qubrix writer download|watch: the Writer panel's Download and the Writer's offline status lines,
// through the same download session as the window. download loads the file as Writer mode does,
// applies the panel's checks, finds the Writer and sends it all with a progress bar; it ends 0 only
// with "Programming successful."; SIGINT, SIGTERM and SIGHUP cancel it (the Writer is reset) and
// it exits 128 + the signal. watch prints the status lines until Ctrl+C.
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "app/common/job_signals.hpp"
#include "app/cli/printing_sink.hpp"
#include "app/cli/production_options.hpp"
#include "app/cli/terminal_progress.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/writer/link.hpp"
#include "device/writer/session.hpp"
#include "firmware/catalogue.hpp"
#include "firmware/loader.hpp"

namespace cli {
namespace {

constexpr char kDownloadSynopsis[] =
    "download FILE [-t MODEL] [--limit N] [--user-code N] [--writer-id HEX8] [--key K16]";
constexpr char kWatchSynopsis[] = "watch";

std::atomic<bool> g_interrupted{false};
std::mutex g_wakeMutex;
std::condition_variable g_wake;

void onInterrupt(int) {
  g_interrupted = true;
  // notify_all is not async-signal-safe; the waits below poll the flag often enough.
  std::signal(SIGINT, SIG_DFL);
}

// The session's reports on the terminal: lines on stdout (error lines on stderr), messages as
// "[caption] text" on stderr, the packets as a progress bar.
class WriterOutput final : public qx::writer::WriterSink {
 public:
  explicit WriterOutput(std::uint64_t bytes) : progress_(false), bytes_(bytes) {}

  void onLog(const std::string& line, base::LogColour colour) override {
    progress_.clear();
    std::FILE* out = colour == base::LogColour::Error ? stderr : stdout;
    std::fprintf(out, "%s\n", line.c_str());
    std::fflush(out);
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    progress_.clear();
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }
  void onProgressRange(int, int high) override {
    high_ = high;
    progress_.start(base::text("writer.download"), bytes_);
  }
  void onProgress(int position) override {
    if (high_ > 0) progress_.update(position * 100 / high_);
  }
  void onDownloadEnded(base::Outcome outcome) override {
    progress_.clear();
    std::lock_guard lock(g_wakeMutex);
    outcome_ = outcome;
    g_wake.notify_all();
  }

  std::optional<base::Outcome> outcome() const {
    std::lock_guard lock(g_wakeMutex);
    return outcome_;
  }

 private:
  TerminalProgress progress_;
  std::uint64_t bytes_;
  int high_ = 0;
  std::optional<base::Outcome> outcome_;
};

// Waits until `done` or Ctrl+C; true when interrupted.
template <typename Done>
bool waitFor(Done done) {
  std::unique_lock lock(g_wakeMutex);
  while (!g_interrupted) {
    lock.unlock();
    const bool finished = done();
    lock.lock();
    if (finished) return false;
    g_wake.wait_for(lock, std::chrono::milliseconds(100));
  }
  return true;
}

std::string fileNameWithoutExtension(const std::string& path) { return std::filesystem::path(path).stem().string(); }

int runDownload(const Args& a) {
  // Before the session's threads start, which inherit the signal mask.
  app::JobSignals signals;
  const auto usageError = [&a](const std::string& message) {
    std::fprintf(stderr, "qubrix writer: %s\n%s", message.c_str(), a.usage("writer", kDownloadSynopsis).c_str());
    return kExitUsage;
  };
  if (a.positional().size() != 2) return usageError("exactly one program file is needed");
  const std::string& path = a.positional()[1];
  const auto kind = firmware::ProgramFileKindOfPath(path);
  if (!kind) return usageError(base::format(base::text("firmware.cli.unknown_kind").c_str(), path.c_str()));
  const bool productionFile =
      *kind == firmware::ProgramFileKind::EncryptedProgram || *kind == firmware::ProgramFileKind::ProductionProject;

  const firmware::McuList& list = firmware::Catalogue();
  firmware::McuPtr model;
  if (const auto name = a.value("target")) {
    model = firmware::FindByName(list, *name);
    if (!model) {
      std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.unknown_model").c_str(), name->c_str()).c_str());
      return kExitUsage;
    }
  } else if (!productionFile) {
    return usageError("the model is missing (-t MODEL)");
  } else {
    model = list.front();  // the file selects its own model
  }

  firmware::ProgramImage image;
  production::ProductionSettings settings;
  PrintingSink loadSink;
  firmware::LoadTarget how{firmware::TypeIndex(*model), firmware::LoadMode::Other, &list};
  how.settings = &settings;
  if (!firmware::LoadProgramFile(path, *kind, how, image, loadSink)) {
    if (!loadSink.complained()) {
      std::fprintf(stderr, "%s\n", base::format(base::text("firmware.cli.not_loaded").c_str(), path.c_str()).c_str());
    }
    return kExitFailed;
  }
  if (!loadSink.selectedModel().empty()) model = firmware::FindByName(list, loadSink.selectedModel());
  // An encrypted program file brings its own settings; the panel locks them.
  if (image.fromEncryptedFile && HasProductionOptions(a)) {
    return usageError("an encrypted program file brings its own settings");
  }
  if (auto bad = ReadProductionOptions(a, settings)) return usageError(*bad);

  const bool connected = !qx::writer::enumerateWriters().empty();
  if (const auto refusal = qx::writer::DownloadRefusal(settings, connected)) {
    std::fprintf(stderr, "[%s] %s\n", base::text(102).c_str(), refusal->c_str());
    return kExitFailed;
  }

  const std::uint16_t code = firmware::TypeIndex(*model);
  qx::writer::DownloadJob job = qx::writer::MakeDownloadJob(image, *model, code, settings, fileNameWithoutExtension(path),
                                                            qx::writer::TimeStampNow());
  WriterOutput out(job.length);
  out.onLog("--> " + base::text(294), base::LogColour::Normal);
  qx::writer::WriterSession session(out, base::threadLanguage());
  if (!session.startDownload(std::move(job))) return signals.exitStatus(kExitFailed);
  signals.onCancel([] {
    std::lock_guard lock(g_wakeMutex);
    g_interrupted = true;
    g_wake.notify_all();
  });
  const bool interrupted = waitFor([&out] { return out.outcome().has_value(); });
  signals.clearCancel();
  if (interrupted) session.cancel();
  session.stop();
  return signals.exitStatus(out.outcome() == base::Outcome::Success ? kExitOk : kExitFailed);
}

int runWatch(const Args& a) {
  if (a.positional().size() != 1) {
    std::fprintf(stderr, "qubrix writer: watch takes no file\n%s", a.usage("writer", kWatchSynopsis).c_str());
    return kExitUsage;
  }
  WriterOutput out(0);
  qx::writer::WriterSession session(out, base::threadLanguage());
  if (!session.watch()) {
    out.onLog("--> " + base::text(308), base::LogColour::Error);
    return kExitFailed;
  }
  out.onLog("--> " + base::text(294), base::LogColour::Normal);
  std::signal(SIGINT, onInterrupt);
  const bool interrupted = waitFor([&session] { return !session.receiving(); });
  session.stop();
  std::signal(SIGINT, SIG_DFL);
  // Ended by the user: done; ended by the Writer leaving: a failure.
  if (!interrupted) out.onLog("--> " + base::text(242), base::LogColour::Error);
  return interrupted ? kExitOk : kExitFailed;
}

}  // namespace

int runWriter(const std::vector<std::string>& args) {
  Args a(args, {{"target", 't', true, "MODEL  the chip model (qubrix models lists them); a .cab or .cap names its own"},
                {"limit", 0, true, "N  the maximum number of programming runs"},
                {"user-code", 0, true, "N  the first value of the user roll code"},
                {"writer-id", 0, true, "HEX8  the id of the only Writer that may use the program"},
                {"key", 0, true, "K16  the 16-character data key"}});
  const std::string synopsis = std::string(kDownloadSynopsis) + "\n       qubrix writer " + kWatchSynopsis;
  if (auto done = finishParsing(a, "writer", synopsis)) return *done;
  const std::string sub = a.positional().empty() ? std::string() : a.positional()[0];
  if (sub == "download") return runDownload(a);
  if (sub == "watch") return runWatch(a);
  std::fprintf(stderr, "qubrix writer: download or watch?\n%s", a.usage("writer", synopsis).c_str());
  return kExitUsage;
}

}  // namespace cli
