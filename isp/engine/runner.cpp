#include "isp/engine/runner.hpp"

#include <functional>
#include <mutex>
#include <tuple>
#include <vector>

#include "base/event_loop.hpp"
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "isp/engine/serial_link.hpp"
#include "isp/serial_port.hpp"

namespace isp::engine {
namespace {

// Not one of the window's timer ids.
constexpr int kWatchdog = 1000;
constexpr base::Millis kWatchPeriod{100};

}  // namespace

class IspRunner::Impl final : public IspSink, public SerialPortSink {
 public:
  Impl(IspSink& out, RunOptions options) : out_(out), options_(std::move(options)), link_(port_, *this), engine_(link_, *this, loop_) {
    link_.setPath(options_.port);
    loop_.setTimerHandler([this](int id) {
      if (id == kWatchdog) {
        watch();
      } else {
        engine_.OnTimer(id);
      }
    });
  }

  // Runs the loop until the operation ends; `begin` starts it on the loop's thread.
  base::Outcome run(const std::function<bool()>& begin, bool query) {
    result_ = base::Outcome::Failed;
    stalled_ = false;
    query_ = query;
    loop_.post([&] {
      if (!begin()) {
        loop_.quit();
        return;
      }
      lastChange_ = loop_.now();
      loop_.start(kWatchdog, kWatchPeriod);
    });
    loop_.run();
    loop_.stop(kWatchdog);
    return result_;
  }

  IspEngine& engine() { return engine_; }
  bool stalled() const { return stalled_; }
  void cancel() {
    loop_.post([this] {
      if (engine_.active()) engine_.Cancel();
    });
  }
  const std::optional<ProgrammerInfo>& info() const { return info_; }

  // IspSink, on the loop's thread.
  void onLog(const std::string& line, base::LogColour colour) override { out_.onLog(line, colour); }
  void onProgressRange(int low, int high) override { out_.onProgressRange(low, high); }
  void onProgress(int position) override {
    progress_ = position;
    out_.onProgress(position);
  }
  void onControlsEnabled(bool enabled) override { out_.onControlsEnabled(enabled); }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon icon) override {
    out_.onMessage(caption, text, icon);
  }
  void onFinished(base::Outcome outcome) override {
    result_ = stalled_ ? base::Outcome::Failed : outcome;
    out_.onFinished(outcome);
    loop_.quit();
  }
  void onImageReleased() override { out_.onImageReleased(); }
  void onProgrammerInfo(const ProgrammerInfo& info, VersionQuery asker) override {
    info_ = info;
    result_ = base::Outcome::Success;
    out_.onProgrammerInfo(info, asker);
    if (query_) loop_.quit();
  }

  // SerialPortSink, on the port's reader thread: hand over in order without waiting.
  void onSerialByte(std::uint8_t byte) override {
    std::lock_guard lock(rxMutex_);
    const bool first = rx_.empty();
    rx_.push_back(byte);
    if (first) loop_.post([this] { drain(); });
  }
  void onSerialMessage(const SerialMessage& m) override {
    loop_.post([this, m] { out_.onMessage(m.caption, m.text, m.errorIcon ? base::MessageIcon::Error : base::MessageIcon::Warning); });
  }
  void onSerialErrorChanged(bool error) override {
    if (error) loop_.post([this] { engine_.OnPortError(); });
  }

 private:
  void drain() {
    std::vector<std::uint8_t> bytes;
    {
      std::lock_guard lock(rxMutex_);
      bytes.swap(rx_);
    }
    for (std::uint8_t b : bytes) engine_.OnByte(b);
  }

  // Progress is a change of state, a block further than any before in this state, or the bar
  // moving: a page rewritten again and again does not count.
  void watch() {
    const int state = engine_.state();
    if (state != watchedState_) {
      watchedState_ = state;
      furthestBlock_ = 0;
    }
    const bool further = engine_.blockIndex() > furthestBlock_;
    if (further) furthestBlock_ = engine_.blockIndex();
    const auto mark = std::make_tuple(state, furthestBlock_, progress_);
    if (further || mark != lastMark_) {
      lastMark_ = mark;
      lastChange_ = loop_.now();
      return;
    }
    if (loop_.now() - lastChange_ < options_.stallTimeout) return;
    stalled_ = true;
    result_ = base::Outcome::Failed;
    const double seconds = static_cast<double>(options_.stallTimeout.count()) / 1000.0;
    out_.onLog(base::format(base::text("isp.stalled").c_str(), seconds), base::LogColour::Error);
    if (query_ || state == IspEngine::kIdle) {
      engine_.ReleasePort();
      loop_.quit();
    } else {
      engine_.GiveUp();
    }
  }

  IspSink& out_;
  RunOptions options_;
  base::EventLoop loop_;
  CSerialPort port_;
  SerialPortLink link_;
  IspEngine engine_;

  std::mutex rxMutex_;
  std::vector<std::uint8_t> rx_;

  base::Outcome result_ = base::Outcome::Failed;
  bool stalled_ = false;
  bool query_ = false;
  std::optional<ProgrammerInfo> info_;
  int progress_ = 0;
  int watchedState_ = -1;
  std::uint32_t furthestBlock_ = 0;
  std::tuple<int, std::uint32_t, int> lastMark_{-1, 0, 0};
  base::Millis lastChange_{0};
};

IspRunner::IspRunner(IspSink& sink, RunOptions options) : impl_(std::make_unique<Impl>(sink, std::move(options))) {}

IspRunner::~IspRunner() = default;

base::Outcome IspRunner::program(IspJob job) {
  IspEngine& e = impl_->engine();
  return impl_->run(
      [&] {
        if (!e.StartProgram(std::move(job))) return false;
        // As the ISP panel: a Program is never checked by the tool.
        e.setCheckByTool(false);
        return true;
      },
      false);
}

base::Outcome IspRunner::verify(IspJob job) {
  IspEngine& e = impl_->engine();
  return impl_->run(
      [&] {
        e.setCheckByTool(true);
        return e.StartVerify(std::move(job));
      },
      false);
}

void IspRunner::cancel() { impl_->cancel(); }

std::optional<ProgrammerInfo> IspRunner::queryVersion() {
  IspEngine& e = impl_->engine();
  const base::Outcome r = impl_->run([&] { return e.QueryVersion(VersionQuery::UpdateDialog); }, true);
  if (r != base::Outcome::Success) return std::nullopt;
  return impl_->info();
}

bool IspRunner::stalled() const { return impl_->stalled(); }

}  // namespace isp::engine
