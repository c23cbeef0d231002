#pragma once
// The timers and the clock that engines on timers are given. An engine starts and stops periodic
// timers by their fixed ids and learns the time from now(); the owner of the timers calls the
// engine's OnTimer(id) whenever one fires (the window through QTimer, the command line through
// EventLoop, tests through ManualTimers). Waits that the protocols prescribe ("wait 10 ms") go
// through wait(), so that a test passes them in no time.
#include <chrono>

namespace base {

using Millis = std::chrono::milliseconds;

class TimerService {
 public:
  virtual ~TimerService() = default;

  // Starts timer `id`, or restarts it from now when it runs; it fires every `interval` until stopped.
  virtual void start(int id, Millis interval) = 0;
  virtual void stop(int id) = 0;
  virtual bool running(int id) const = 0;

  // Monotonic time from an arbitrary origin.
  virtual Millis now() const = 0;

  // Blocks the calling thread for `duration`. No timer fires and nothing else is handled meanwhile,
  // exactly as a sleep on the user-interface thread.
  virtual void wait(Millis duration) = 0;
};

}  // namespace base
