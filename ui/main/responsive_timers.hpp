#pragma once
// The window's TimerService: the QtTimerService's timers, and waits that keep the window painting.
// A wait the protocols prescribe ("wait 100 ms") runs a local event loop without user input and
// device notifications; the serial bytes and timer firings that come meanwhile are held and handed
// over in order once the waiting code has returned, so that an engine never sees them mid-step.
#include <deque>
#include <functional>
#include <set>

#include "base/timer.hpp"

namespace widgets {
class QtTimerService;
}

namespace mainwin {

class ResponsiveTimers final : public base::TimerService {
 public:
  explicit ResponsiveTimers(widgets::QtTimerService& timers) : timers_(timers) {}

  void start(int id, base::Millis interval) override;
  void stop(int id) override;
  bool running(int id) const override;
  base::Millis now() const override;
  void wait(base::Millis duration) override;

  // Runs `call` now, or after what is held when a wait is on or calls are still held.
  void deliver(std::function<void()> call);
  // A timer firing: held at most once per id.
  void deliverTimer(int id, const std::function<void(int)>& onFire);

 private:
  bool holding() const { return depth_ > 0 || !held_.empty(); }
  void scheduleFlush();
  void flush();

  widgets::QtTimerService& timers_;
  int depth_ = 0;
  std::deque<std::function<void()>> held_;
  std::set<int> heldTimers_;
  bool flushQueued_ = false;
};

}  // namespace mainwin
