#include "base/manual_timers.hpp"

namespace base {

void ManualTimers::start(int id, Millis interval) {
  // A zero interval would fire for ever at the same instant.
  const Millis step = interval > Millis{0} ? interval : Millis{1};
  timers_[id] = Entry{step, now_ + step};
}

void ManualTimers::stop(int id) { timers_.erase(id); }

bool ManualTimers::running(int id) const { return timers_.count(id) != 0; }

Millis ManualTimers::interval(int id) const {
  const auto it = timers_.find(id);
  return it == timers_.end() ? Millis{0} : it->second.interval;
}

void ManualTimers::wait(Millis duration) {
  waits_.push_back(duration);
  if (duration > Millis{0}) now_ += duration;
}

std::map<int, ManualTimers::Entry>::iterator ManualTimers::earliest() {
  auto best = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (best == timers_.end() || it->second.due < best->second.due) best = it;
  }
  return best;
}

bool ManualTimers::fireNext() {
  const auto it = earliest();
  if (it == timers_.end()) return false;
  const int id = it->first;
  if (it->second.due > now_) now_ = it->second.due;
  it->second.due += it->second.interval;
  if (onFire_) onFire_(id);
  return true;
}

void ManualTimers::advance(Millis duration) {
  const Millis target = now_ + duration;
  for (;;) {
    const auto it = earliest();
    if (it == timers_.end() || it->second.due > target) break;
    fireNext();
  }
  if (now_ < target) now_ = target;
}

}  // namespace base
