#pragma once
// A small Qt-free event loop for the command line: tasks posted from any thread and the timers of
// a TimerService run in order on the thread that calls run(). The window uses Qt's loop instead.
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>

#include "base/timer.hpp"

namespace base {

class EventLoop final : public TimerService {
 public:
  using Task = std::function<void()>;
  using FireHandler = std::function<void(int id)>;

  EventLoop();
  EventLoop(const EventLoop&) = delete;
  EventLoop& operator=(const EventLoop&) = delete;

  // Receives every timer that fires, on the loop's thread.
  void setTimerHandler(FireHandler onFire);

  // Thread-safe; tasks run in the order they were posted.
  void post(Task task);
  // Thread-safe; run() returns after the task or timer that is running now.
  void quit();
  // Runs until quit(). Due timers go before waiting tasks, so that a flood of tasks cannot hold
  // back a timer for long.
  void run();

  void start(int id, Millis interval) override;
  void stop(int id) override;
  bool running(int id) const override;
  Millis now() const override;
  void wait(Millis duration) override;

 private:
  using Clock = std::chrono::steady_clock;
  struct Entry {
    Millis interval{};
    Clock::time_point due{};
  };
  // Under the lock: the id of a timer that is due now, after moving its next time on; -1 if none.
  int takeDueTimer(Clock::time_point at);

  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> tasks_;
  std::map<int, Entry> timers_;
  FireHandler onFire_;
  bool quit_ = false;
  const Clock::time_point origin_;
};

}  // namespace base
