#pragma once
// The emulated programmer's sense of time: reply delays and read time-outs pass on it. Tests use
// the manual clock, on which a time-out costs no real time; the front ends use the system clock.
#include <atomic>
#include <chrono>

namespace emulator::programmer {

using Millis = std::chrono::milliseconds;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual Millis now() const = 0;
  virtual void sleepFor(Millis duration) = 0;
};

class SystemClock final : public Clock {
 public:
  Millis now() const override;
  void sleepFor(Millis duration) override;
};

class ManualClock final : public Clock {
 public:
  Millis now() const override { return Millis(now_.load()); }
  // Time moves only by sleeping: what a test sees is the time that would have passed.
  void sleepFor(Millis duration) override { now_ += duration.count(); }

 private:
  std::atomic<long long> now_{0};
};

}  // namespace emulator::programmer
