#include "widgets/qt_timer_service.hpp"

#include <QTimer>
#include <thread>

namespace widgets {

QtTimerService::QtTimerService(QObject* parent) : QObject(parent) { clock_.start(); }

void QtTimerService::start(int id, base::Millis interval) {
  QTimer*& timer = timers_[id];
  if (timer == nullptr) {
    timer = new QTimer(this);
    timer->setTimerType(Qt::PreciseTimer);
    connect(timer, &QTimer::timeout, this, [this, id] {
      if (onFire_) onFire_(id);
    });
  }
  timer->start(static_cast<int>(interval.count()));
}

void QtTimerService::stop(int id) {
  auto it = timers_.find(id);
  if (it != timers_.end()) it->second->stop();
}

bool QtTimerService::running(int id) const {
  auto it = timers_.find(id);
  return it != timers_.end() && it->second->isActive();
}

base::Millis QtTimerService::now() const { return base::Millis(clock_.elapsed()); }

void QtTimerService::wait(base::Millis duration) { std::this_thread::sleep_for(duration); }

}  // namespace widgets
