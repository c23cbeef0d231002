// qubrix touch: the touch debugging session of the Touch debug panel through the first attached
// QUBRIX Tool. Streams every polled sample, sets one channel's threshold on the target, or writes
// Touchconfig.TXT from the target's thresholds. Ctrl+C ends a stream; the session is always ended
// (touch disconnect, target power off, programmer closed).
#include <atomic>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "base/event_loop.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/touch_debug.hpp"
#include "touch/export.hpp"
#include "touch/session.hpp"

namespace cli {
namespace {

constexpr const char* kSynopsis = "[--duration S] [--csv] | set CHANNEL VALUE | export [-o FILE]";
constexpr int kDeadlineTimer = 2;
constexpr base::Millis kSetUpDeadline{5000};

std::atomic<bool> g_interrupted{false};

void onInterrupt(int) {
  g_interrupted = true;
  std::signal(SIGINT, SIG_DFL);
}

class TerminalSink final : public touch::SessionSink {
 public:
  TerminalSink(bool csv) : csv_(csv) {}

  void onLog(const std::string& line, base::LogColour colour) override {
    const bool error = colour == base::LogColour::Error;
    failed_ = failed_ || error;
    // With --csv stdout carries the samples alone.
    FILE* to = error || csv_ ? stderr : stdout;
    std::fprintf(to, "%s\n", line.c_str());
    std::fflush(to);
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    failed_ = true;
    std::fprintf(stderr, "[%s] %s\n", caption.c_str(), text.c_str());
  }
  void onClearTable() override {}
  void onChannelRow(std::size_t, std::uint8_t) override {}
  void onChannelValue(std::size_t, touch::Field, std::int32_t) override {}
  void onChannelCount(std::size_t) override {}
  void onKeyFlags(std::uint64_t) override {}
  void onReference(touch::Field, std::int32_t) override {}
  void onButtons(const touch::ButtonStates&) override {}
  void onPowerButton(bool) override {}

  void onSample(const touch::ChannelModel& m, base::Millis at) override {
    if (!streaming_) return;
    if (!origin_) {
      origin_ = at;
      if (csv_) std::printf("time_ms,channel,current,baseline,difference,threshold,key\n");
    }
    const long long ms = (at - *origin_).count();
    for (std::size_t i = 0; i < m.count; ++i) {
      const int pressed = m.keyTriggered(i) ? 1 : 0;
      if (csv_) {
        std::printf("%lld,%u,%u,%u,%d,%u,%d\n", ms, unsigned{m.numbers[i]}, unsigned{m.currents[i]}, unsigned{m.baselines[i]},
                    m.differences[i], unsigned{m.thresholds[i]}, pressed);
      } else {
        std::printf("%8lld ms  TP%-3u current %5u  baseline %5u  differ %6d  threshold %5u  %s\n", ms, unsigned{m.numbers[i]},
                    unsigned{m.currents[i]}, unsigned{m.baselines[i]}, m.differences[i], unsigned{m.thresholds[i]},
                    pressed != 0 ? "KEY" : "-");
      }
    }
    std::fflush(stdout);
  }

  void stream() { streaming_ = true; }
  bool failed() const { return failed_; }

 private:
  bool csv_;
  bool streaming_ = false;
  bool failed_ = false;
  std::optional<base::Millis> origin_;
};

// One session on the command line's event loop: connect, wait for the target's channels, then
// whatever the verb does, and always the disconnect at the end.
class CliSession {
 public:
  explicit CliSession(TerminalSink& sink) : sink_(sink), session_(loop_, sink_, qx::firstTouchDebug) {
    loop_.setTimerHandler([this](int id) {
      if (id == kDeadlineTimer || g_interrupted) {
        loop_.quit();
        return;
      }
      session_.onTimer(id);
      if (!loop_.running(touch::kPollTimerId) || (stopWhenReady_ && session_.usb().ready())) loop_.quit();
    });
  }
  ~CliSession() {
    if (session_.active()) session_.pressConnect();
  }
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  bool connectAndSetUp() {
    session_.selectPort(touch::kUsbPortName);
    session_.pressConnect();
    if (!session_.active()) return false;
    stopWhenReady_ = true;
    runFor(kSetUpDeadline);
    stopWhenReady_ = false;
    return session_.usb().ready();
  }
  // Polls until `duration` is over (none: until Ctrl+C) or polling stops; false when it stopped.
  bool poll(std::optional<base::Millis> duration) {
    runFor(duration);
    return loop_.running(touch::kPollTimerId) || g_interrupted;
  }
  touch::TouchSession& session() { return session_; }

 private:
  void runFor(std::optional<base::Millis> duration) {
    if (duration) loop_.start(kDeadlineTimer, *duration);
    loop_.run();
    loop_.stop(kDeadlineTimer);
  }

  TerminalSink& sink_;
  base::EventLoop loop_;
  touch::TouchSession session_;
  bool stopWhenReady_ = false;
};

int runSet(CliSession& cli, TerminalSink& sink, const std::string& channelText, const std::string& valueText) {
  const auto channel = touch::parseThreshold(channelText);
  const auto value = touch::parseThreshold(valueText);
  if (!channel || *channel > 255 || !value) {
    std::fprintf(stderr, "qubrix touch set: CHANNEL and VALUE are decimal numbers (CHANNEL as in TP<n>)\n");
    return kExitUsage;
  }
  const touch::ChannelModel& m = cli.session().usb().model();
  std::optional<std::size_t> index;
  for (std::size_t i = 0; i < m.count; ++i) {
    if (m.numbers[i] == *channel) index = i;
  }
  if (!index) {
    std::fprintf(stderr, "qubrix touch set: the target has no channel TP%u\n", unsigned{*channel});
    return kExitFailed;
  }
  cli.session().thresholdEdited(*index, valueText);
  if (sink.failed()) return kExitFailed;
  cli.session().onTimer(touch::kPollTimerId);
  std::printf("TP%u threshold %u\n", unsigned{*channel}, unsigned{m.thresholds[*index]});
  return !sink.failed() && m.thresholds[*index] == *value ? kExitOk : kExitFailed;
}

}  // namespace

int runTouch(const std::vector<std::string>& args) {
  Args a(args, {{"duration", 0, true, "S  stream for S seconds (default: until Ctrl+C)"},
                {"csv", 0, false, "print the samples as comma-separated values"},
                {"output", 'o', true, "FILE  export: the file to write (default: Touchconfig.TXT beside the program)"}});
  if (auto done = finishParsing(a, "touch", kSynopsis)) return *done;
  const auto usageError = [&](const std::string& message) {
    std::fprintf(stderr, "qubrix touch: %s\n%s", message.c_str(), a.usage("touch", kSynopsis).c_str());
    return kExitUsage;
  };
  const auto& words = a.positional();
  const std::string verb = words.empty() ? std::string() : words[0];
  if (!(verb.empty() || (verb == "set" && words.size() == 3) || (verb == "export" && words.size() == 1))) {
    return usageError(verb == "set" ? "set takes CHANNEL and VALUE" : "unknown arguments");
  }
  std::optional<base::Millis> duration;
  if (const auto d = a.value("duration")) {
    char* end = nullptr;
    const double seconds = std::strtod(d->c_str(), &end);
    if (end == d->c_str() || *end != '\0' || !(seconds > 0) || seconds > 86400) return usageError("--duration takes seconds above 0");
    duration = base::Millis(static_cast<long long>(seconds * 1000));
  }

  TerminalSink sink(a.has("csv"));
  g_interrupted = false;
  std::signal(SIGINT, onInterrupt);
  int status = kExitFailed;
  {
    CliSession cli(sink);
    if (cli.connectAndSetUp()) {
      if (verb == "set") {
        status = runSet(cli, sink, words[1], words[2]);
      } else if (verb == "export") {
        const std::filesystem::path file =
            a.value("output") ? std::filesystem::path(*a.value("output")) : touch::exportDirectory() / touch::kExportFileName;
        status = cli.session().saveTo(file) ? kExitOk : kExitFailed;
      } else {
        sink.stream();
        status = cli.poll(duration) ? kExitOk : kExitFailed;
      }
    }
  }
  std::signal(SIGINT, SIG_DFL);
  return status;
}

}  // namespace cli
