#pragma once
// A TimerService whose time moves only when told: state machines on timers are tested (and
// measured) deterministically and without sleeping.
#include <functional>
#include <map>
#include <vector>

#include "base/timer.hpp"

namespace base {

class ManualTimers final : public TimerService {
 public:
  using FireHandler = std::function<void(int id)>;

  ManualTimers() = default;
  explicit ManualTimers(FireHandler onFire) : onFire_(std::move(onFire)) {}
  void setHandler(FireHandler onFire) { onFire_ = std::move(onFire); }

  void start(int id, Millis interval) override;
  void stop(int id) override;
  bool running(int id) const override;
  Millis now() const override { return now_; }
  // Moves the time on without firing anything and records the wait.
  void wait(Millis duration) override;

  // Moves the time on by `duration`, firing every timer that falls due, in time order (equal
  // times: lower id first). A handler may start, stop and wait.
  void advance(Millis duration);
  // Fires the next due timer, whenever that is; false when no timer runs.
  bool fireNext();
  // The interval of a running timer, zero when stopped.
  Millis interval(int id) const;

  const std::vector<Millis>& waits() const { return waits_; }
  void clearWaits() { waits_.clear(); }

 private:
  struct Entry {
    Millis interval{};
    Millis due{};
  };
  // The running timer due first, or nullptr.
  std::map<int, Entry>::iterator earliest();

  FireHandler onFire_;
  std::map<int, Entry> timers_;
  Millis now_{0};
  std::vector<Millis> waits_;
};

}  // namespace base
