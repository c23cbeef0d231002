// qubrix term: the serial assistant headless. The received bytes go to stdout in their display form
// (hex pairs or characters, packet headers), log lines and messages to stderr, so that a script
// reads exactly what the receive pane would show.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "base/event_loop.hpp"
#include "terminal/serial_port_link.hpp"
#include "terminal/terminal_core.hpp"

namespace cli {
namespace {

constexpr const char* kSynopsis =
    "--port PATH [--baud N] [--hex] [--packet MS] [--send TEXT | --send-hex HEX] [--every MS] [--duration S] "
    "[--log FILE]";
constexpr int kEndTimer = 90;
constexpr int kSignalTimer = 91;
constexpr base::Millis kSignalPoll{100};

std::atomic<bool> g_interrupted{false};
void onSignal(int) { g_interrupted.store(true); }

class StdoutSink final : public terminal::TerminalSink {
 public:
  void onLog(const std::string& line, base::LogColour) override { std::fprintf(stderr, "%s\n", line.c_str()); }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    std::fprintf(stderr, "%s%s%s\n", caption.c_str(), caption.empty() ? "" : ": ", text.c_str());
    failed_ = true;
  }
  void onDisplay(const terminal::DisplayUpdate& update) override {
    if (update.replaced) std::fwrite(update.replacement.data(), 1, update.replacement.size(), stdout);
    for (const terminal::DisplayRun& run : update.runs) std::fwrite(run.text.data(), 1, run.text.size(), stdout);
    std::fflush(stdout);
    printed_ = printed_ || !update.runs.empty() || !update.replacement.empty();
  }
  void onPortOpenChanged(bool) override {}
  void onTimedSendChanged(bool) override {}

  bool failed() const { return failed_; }
  bool printed() const { return printed_; }

 private:
  bool failed_ = false;
  bool printed_ = false;
};

std::optional<long> wholeNumber(const std::optional<std::string>& text, long low, long high) {
  if (!text) return std::nullopt;
  char* end = nullptr;
  const long v = std::strtol(text->c_str(), &end, 10);
  if (end == text->c_str() || *end != '\0' || v < low || v > high) return std::nullopt;
  return v;
}

int usageError(const Args& a, const std::string& what) {
  std::fprintf(stderr, "qubrix term: %s\n%s", what.c_str(), a.usage("term", kSynopsis).c_str());
  return kExitUsage;
}

}  // namespace

int runTerm(const std::vector<std::string>& args) {
  Args a(args, {{"port", 0, true, "PATH  the serial port's device path"},
                {"baud", 0, true, "N  the line's rate (default 115200)"},
                {"hex", 0, false, "show each received byte as two hex digits and a blank"},
                {"packet", 0, true, "MS  start a new line with a time header when a packet is MS old"},
                {"send", 0, true, "TEXT  send the text once (or every --every MS)"},
                {"send-hex", 0, true, "HEX  send hex byte pairs, e.g. \"A1 B2\""},
                {"every", 0, true, "MS  repeat the send at this interval"},
                {"duration", 0, true, "S  stop after S seconds (default: until Ctrl+C)"},
                {"log", 0, true, "FILE  append every received byte, as it came, to FILE"}});
  if (auto done = finishParsing(a, "term", kSynopsis)) return *done;
  if (!a.positional().empty()) return usageError(a, "unexpected argument '" + a.positional()[0] + "'");
  const auto port = a.value("port");
  if (!port || port->empty()) return usageError(a, "--port PATH is required");
  if (a.has("send") && a.has("send-hex")) return usageError(a, "--send and --send-hex exclude each other");
  const auto baud = a.has("baud") ? wholeNumber(a.value("baud"), 50, 20'000'000) : 115200L;
  if (!baud) return usageError(a, "--baud takes a rate in bits per second");
  const auto packet = a.has("packet") ? wholeNumber(a.value("packet"), 1, 9999) : 0L;
  if (!packet) return usageError(a, "--packet takes 1 to 9999 milliseconds");
  const auto every = a.has("every") ? wholeNumber(a.value("every"), 1, 999999) : 0L;
  if (!every) return usageError(a, "--every takes 1 to 999999 milliseconds");
  if (*every > 0 && !a.has("send") && !a.has("send-hex")) return usageError(a, "--every needs --send or --send-hex");
  std::optional<double> duration;
  if (a.has("duration")) {
    const std::string text = *a.value("duration");
    char* end = nullptr;
    duration = std::strtod(text.c_str(), &end);
    if (end == text.c_str() || *end != '\0' || !(*duration > 0) || *duration > 1e6) {
      return usageError(a, "--duration takes a positive number of seconds");
    }
  }

  base::EventLoop loop;
  StdoutSink sink;
  terminal::SystemLocalClock clock;
  terminal::TerminalCore* corePtr = nullptr;
  terminal::SerialPortLink link([&] {
    loop.post([&] { link.deliver(*corePtr, sink); });
  });
  link.setLine(*port, static_cast<std::uint32_t>(*baud));
  terminal::TerminalCore core(sink, link, loop, clock);
  corePtr = &core;

  terminal::TerminalSettings settings;
  settings.hexDisplay = a.has("hex");
  settings.packetDisplay = *packet > 0;
  if (*packet > 0) settings.packetTimeoutMs = static_cast<int>(*packet);
  settings.hexSend = a.has("send-hex");
  if (*every > 0) settings.sendIntervalMs = static_cast<int>(*every);
  core.applySettings(settings);

  if (const auto log = a.value("log"); log && !core.startLog(*log)) {
    std::fprintf(stderr, "qubrix term: cannot open %s\n", log->c_str());
    return kExitFailed;
  }
  if (!core.openPort()) return kExitFailed;

  bool ok = true;
  loop.setTimerHandler([&](int id) {
    if (id == kEndTimer) loop.quit();
    if (id == kSignalTimer && g_interrupted.load()) loop.quit();
    core.onTimer(id);
    // Timed sending stopped by itself (a bad send line, a lost port): nothing more to do.
    if (id == terminal::TerminalCore::kTimedSendTimer && !core.timedSending()) {
      ok = false;
      loop.quit();
    }
  });
  const auto sendText = a.has("send") ? a.value("send") : a.value("send-hex");
  if (sendText) {
    if (*every > 0) {
      core.setTimedSending(true, *sendText);
    } else {
      ok = core.send(*sendText);
    }
  }
  g_interrupted.store(false);
  std::signal(SIGINT, onSignal);
  std::signal(SIGTERM, onSignal);
  if (ok) {
    if (duration) loop.start(kEndTimer, base::Millis{static_cast<long long>(*duration * 1000.0 + 0.5)});
    loop.start(kSignalTimer, kSignalPoll);
    loop.run();
  }
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  link.close();
  link.deliver(core, sink);
  if (sink.printed() && ::isatty(STDOUT_FILENO) != 0) std::printf("\n");
  return ok && !sink.failed() ? kExitOk : kExitFailed;
}

}  // namespace cli
