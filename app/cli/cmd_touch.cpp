// qubrix touch: the touch debugging session of the Touch debug panel through the first attached
// QUBRIX Tool, or with --port through a touch debugging board on a serial line. Streams every
// polled sample, sets one channel's threshold on the target, or writes Touchconfig.TXT from the
// target's thresholds. Ctrl+C ends a stream; the session is always ended (USB: touch disconnect,
// target power off, programmer closed; serial: the target's power cycled and the port closed).
#include <atomic>
#include <csignal>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/cli/args.hpp"
#include "app/cli/command.hpp"
#include "base/event_loop.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/touch_debug.hpp"
#include "isp/serial_port.hpp"
#include "touch/export.hpp"
#include "touch/loop_port_sink.hpp"
#include "touch/port_link.hpp"
#include "touch/serial_transport.hpp"
#include "touch/sample_csv.hpp"
#include "touch/session.hpp"

namespace cli {
namespace {

constexpr const char* kSynopsis = "[--port PATH] ([--duration S] [--csv] | set CHANNEL VALUE | export [-o FILE])";
constexpr int kDeadlineTimer = 2;
constexpr base::Millis kSetUpDeadline{5000};
// The serial link's close takes one tick of timer 8 and the port's close.
constexpr base::Millis kCloseDeadline{1000};
// A board sends every table once per cycle: after two samples each table has been sent since the
// wait began, the thresholds included.
constexpr std::size_t kSamplesPerRound = 2;
constexpr base::Millis kRoundDeadline{3000};

std::atomic<bool> g_interrupted{false};
// The first of SIGINT, SIGTERM, SIGHUP: each ends the session as Ctrl+C does, so that the board's
// target is power-cycled and the port closed; a second one of the same kind ends the process.
std::atomic<int> g_signal{0};
constexpr int kEndingSignals[] = {SIGINT, SIGTERM, SIGHUP};

void onEndingSignal(int signal) {
  int none = 0;
  g_signal.compare_exchange_strong(none, signal);
  g_interrupted = true;
  std::signal(signal, SIG_DFL);
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
    ++samples_;
    if (!streaming_) return;
    if (!origin_) {
      origin_ = at;
      if (csv_) std::fputs(touch::kCsvHeader, stdout);
    }
    const long long ms = (at - *origin_).count();
    if (csv_) {
      rows_.clear();
      touch::appendCsvRows(rows_, m, ms);
      std::fwrite(rows_.data(), 1, rows_.size(), stdout);
    } else {
      for (std::size_t i = 0; i < m.count; ++i) {
        std::printf("%8lld ms  TP%-3u current %5u  baseline %5u  differ %6d  threshold %5u  %s\n", ms, unsigned{m.numbers[i]},
                    unsigned{m.currents[i]}, unsigned{m.baselines[i]}, m.differences[i], unsigned{m.thresholds[i]},
                    m.keyTriggered(i) ? "KEY" : "-");
      }
    }
    std::fflush(stdout);
  }

  void stream() { streaming_ = true; }
  bool failed() const { return failed_; }
  std::size_t samples() const { return samples_; }

 private:
  bool csv_;
  bool streaming_ = false;
  bool failed_ = false;
  std::size_t samples_ = 0;
  std::optional<base::Millis> origin_;
  std::string rows_;
};

// One session on the command line's event loop: connect, wait for the target's channels, then
// whatever the verb does, and always the disconnect at the end.
class CliSession {
 public:
  // `port`: a serial port with a touch debugging board; none: the programmer over USB.
  CliSession(TerminalSink& sink, std::optional<std::string> port)
      : sink_(sink), portSink_(loop_, sink_), link_(port_, portSink_), session_(loop_, sink_, qx::firstTouchDebug), portName_(std::move(port)) {
    if (portName_) {
      auto serial = std::make_unique<touch::SerialTransport>(link_, loop_, sink_);
      serial_ = serial.get();
      portSink_.attach(serial_);
      session_.selectPort(*portName_);
      session_.setSerialTransport(std::move(serial));
    }
    loop_.setTimerHandler([this](int id) {
      if (id == kDeadlineTimer || g_interrupted) {
        loop_.quit();
        return;
      }
      session_.onTimer(id);
      if (!flowing() || (until_ && until_())) loop_.quit();
    });
  }
  ~CliSession() {
    if (!session_.active()) return;
    session_.pressConnect();
    if (serial_ == nullptr) return;
    // The link ends on the next tick of timer 8.
    g_interrupted = false;
    loop_.start(kDeadlineTimer, kCloseDeadline);
    loop_.run();
    portSink_.attach(nullptr);
  }
  CliSession(const CliSession&) = delete;
  CliSession& operator=(const CliSession&) = delete;

  bool connectAndSetUp() {
    if (!portName_) session_.selectPort(touch::kUsbPortName);
    session_.pressConnect();
    if (!session_.active()) return false;
    runUntil([this] { return ready(); }, kSetUpDeadline);
    if (!ready() && serial_ != nullptr && !sink_.failed()) {
      std::fprintf(stderr, "qubrix touch: no touch debugging board answered on %s\n", portName_->c_str());
    }
    return ready();
  }
  // Polls until `duration` is over (none: until Ctrl+C) or polling stops; false when it stopped.
  bool poll(std::optional<base::Millis> duration) {
    runFor(duration);
    return flowing() || g_interrupted;
  }
  // The board's tables sent afresh since now; false when they did not come in time.
  bool awaitBoardRound() {
    const std::size_t until = sink_.samples() + kSamplesPerRound;
    runUntil([this, until] { return sink_.samples() >= until; }, kRoundDeadline);
    return sink_.samples() >= until;
  }
  touch::TouchSession& session() { return session_; }
  bool overSerial() const { return serial_ != nullptr; }
  const touch::ChannelModel& model() const { return serial_ != nullptr ? serial_->model() : session_.usb().model(); }

 private:
  void runUntil(std::function<bool()> done, base::Millis deadline) {
    until_ = std::move(done);
    runFor(deadline);
    until_ = nullptr;
  }
  void runFor(std::optional<base::Millis> duration) {
    if (duration) loop_.start(kDeadlineTimer, *duration);
    loop_.run();
    loop_.stop(kDeadlineTimer);
  }
  bool ready() const { return serial_ != nullptr ? serial_->chipConnected() : session_.usb().ready(); }
  // USB: the poll timer runs. Serial: the link is up and either still linking or linked.
  bool flowing() const {
    if (serial_ == nullptr) return loop_.running(touch::kPollTimerId);
    return serial_->active() && (serial_->chipConnected() || loop_.running(touch::kLinkTimerId));
  }

  TerminalSink& sink_;
  base::EventLoop loop_;
  touch::LoopPortSink portSink_;
  isp::CSerialPort port_;
  touch::PortLink link_;
  touch::TouchSession session_;
  std::optional<std::string> portName_;
  touch::SerialTransport* serial_ = nullptr;
  std::function<bool()> until_;
};

int runSet(CliSession& cli, TerminalSink& sink, const std::string& channelText, const std::string& valueText) {
  const auto channel = touch::parseThreshold(channelText);
  const auto value = touch::parseThreshold(valueText);
  if (!channel || *channel > 255 || !value) {
    std::fprintf(stderr, "qubrix touch set: CHANNEL and VALUE are decimal numbers (CHANNEL as in TP<n>)\n");
    return kExitUsage;
  }
  // A board sends its channel list after the chip's acknowledgement, and its thresholds with its tables.
  if (cli.overSerial() && !cli.awaitBoardRound()) return kExitFailed;
  const touch::ChannelModel& m = cli.model();
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
  // Read back from the target: the next poll, or the board's next threshold table.
  if (cli.overSerial()) {
    if (!cli.awaitBoardRound()) return kExitFailed;
  } else {
    cli.session().onTimer(touch::kPollTimerId);
  }
  std::printf("TP%u threshold %u\n", unsigned{*channel}, unsigned{m.thresholds[*index]});
  return !sink.failed() && m.thresholds[*index] == *value ? kExitOk : kExitFailed;
}

}  // namespace

int runTouch(const std::vector<std::string>& args) {
  Args a(args, {{"port", 0, true, "PATH  a touch debugging board on this serial port instead of the programmer"},
                {"duration", 0, true, "S  stream for S seconds (default: until Ctrl+C)"},
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
  const std::optional<std::string> port = a.value("port");
  std::optional<base::Millis> duration;
  if (const auto d = a.value("duration")) {
    char* end = nullptr;
    const double seconds = std::strtod(d->c_str(), &end);
    if (end == d->c_str() || *end != '\0' || !(seconds > 0) || seconds > 86400) return usageError("--duration takes seconds above 0");
    duration = base::Millis(static_cast<long long>(seconds * 1000));
  }

  TerminalSink sink(a.has("csv"));
  g_interrupted = false;
  g_signal = 0;
  for (int signal : kEndingSignals) std::signal(signal, onEndingSignal);
  int status = kExitFailed;
  {
    CliSession cli(sink, port);
    if (cli.connectAndSetUp()) {
      if (verb == "set") {
        status = runSet(cli, sink, words[1], words[2]);
      } else if (verb == "export") {
        const std::filesystem::path file =
            a.value("output") ? std::filesystem::path(*a.value("output")) : touch::exportDirectory() / touch::kExportFileName;
        // A board reports its thresholds only in its running tables.
        const bool known = !cli.overSerial() || cli.awaitBoardRound();
        status = known && cli.session().saveTo(file) ? kExitOk : kExitFailed;
      } else {
        sink.stream();
        status = cli.poll(duration) ? kExitOk : kExitFailed;
      }
    }
  }
  for (int signal : kEndingSignals) std::signal(signal, SIG_DFL);
  // Ctrl+C is how a stream without --duration ends; a kill or a closed terminal is told as such.
  const int signal = g_signal.load();
  return signal == SIGTERM || signal == SIGHUP ? 128 + signal : status;
}

}  // namespace cli
