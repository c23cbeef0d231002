#include "ui/main/responsive_timers.hpp"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include "widgets/qt_timer_service.hpp"

namespace mainwin {

void ResponsiveTimers::start(int id, base::Millis interval) { timers_.start(id, interval); }

void ResponsiveTimers::stop(int id) { timers_.stop(id); }

bool ResponsiveTimers::running(int id) const { return timers_.running(id); }

base::Millis ResponsiveTimers::now() const { return timers_.now(); }

void ResponsiveTimers::wait(base::Millis duration) {
  ++depth_;
  QEventLoop loop;
  QTimer::singleShot(static_cast<int>(duration.count()), Qt::PreciseTimer, &loop, &QEventLoop::quit);
  // No button press or unplug may start or end anything while the waiting code is mid-step.
  loop.exec(QEventLoop::ExcludeUserInputEvents | QEventLoop::ExcludeSocketNotifiers);
  --depth_;
  if (depth_ == 0 && !held_.empty()) scheduleFlush();
}

void ResponsiveTimers::deliver(std::function<void()> call) {
  if (!holding()) {
    call();
    return;
  }
  held_.push_back(std::move(call));
  if (depth_ == 0) scheduleFlush();
}

void ResponsiveTimers::deliverTimer(int id, const std::function<void(int)>& onFire) {
  if (!holding()) {
    onFire(id);
    return;
  }
  if (!heldTimers_.insert(id).second) return;
  deliver([this, id, onFire] {
    heldTimers_.erase(id);
    onFire(id);
  });
}

void ResponsiveTimers::scheduleFlush() {
  if (flushQueued_) return;
  flushQueued_ = true;
  QTimer::singleShot(0, Qt::PreciseTimer, &timers_, [this] { flush(); });
}

void ResponsiveTimers::flush() {
  flushQueued_ = false;
  while (depth_ == 0 && !held_.empty()) {
    std::function<void()> call = std::move(held_.front());
    held_.pop_front();
    call();
  }
}

}  // namespace mainwin
