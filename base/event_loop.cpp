#include "base/event_loop.hpp"

#include <algorithm>
#include <thread>

namespace base {

EventLoop::EventLoop() : origin_(Clock::now()) {}

void EventLoop::setTimerHandler(FireHandler onFire) {
  std::lock_guard lock(mutex_);
  onFire_ = std::move(onFire);
}

void EventLoop::post(Task task) {
  {
    std::lock_guard lock(mutex_);
    tasks_.push_back(std::move(task));
  }
  wake_.notify_one();
}

void EventLoop::quit() {
  {
    std::lock_guard lock(mutex_);
    quit_ = true;
  }
  wake_.notify_one();
}

int EventLoop::takeDueTimer(Clock::time_point at) {
  auto best = timers_.end();
  for (auto it = timers_.begin(); it != timers_.end(); ++it) {
    if (it->second.due <= at && (best == timers_.end() || it->second.due < best->second.due)) best = it;
  }
  if (best == timers_.end()) return -1;
  // A late timer fires once and then keeps its rhythm from now, as window timers do.
  best->second.due = std::max(best->second.due + best->second.interval, at);
  return best->first;
}

void EventLoop::run() {
  std::unique_lock lock(mutex_);
  while (!quit_) {
    const int due = takeDueTimer(Clock::now());
    if (due >= 0) {
      FireHandler handler = onFire_;
      lock.unlock();
      if (handler) handler(due);
      lock.lock();
      continue;
    }
    if (!tasks_.empty()) {
      Task task = std::move(tasks_.front());
      tasks_.pop_front();
      lock.unlock();
      task();
      lock.lock();
      continue;
    }
    auto next = Clock::time_point::max();
    for (const auto& [id, e] : timers_) next = std::min(next, e.due);
    if (next == Clock::time_point::max()) {
      wake_.wait(lock);
    } else {
      wake_.wait_until(lock, next);
    }
  }
  quit_ = false;
}

void EventLoop::start(int id, Millis interval) {
  const Millis step = interval > Millis{0} ? interval : Millis{1};
  {
    std::lock_guard lock(mutex_);
    timers_[id] = Entry{step, Clock::now() + step};
  }
  wake_.notify_one();
}

void EventLoop::stop(int id) {
  std::lock_guard lock(mutex_);
  timers_.erase(id);
}

bool EventLoop::running(int id) const {
  std::lock_guard lock(mutex_);
  return timers_.count(id) != 0;
}

Millis EventLoop::now() const { return std::chrono::duration_cast<Millis>(Clock::now() - origin_); }

void EventLoop::wait(Millis duration) {
  if (duration > Millis{0}) std::this_thread::sleep_for(duration);
}

}  // namespace base
