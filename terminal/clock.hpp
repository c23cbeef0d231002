#pragma once
// The local wall-clock time the terminal shows in packet headers and puts into saved file names.
// Packet gaps are measured on the monotonic clock instead, so that a gap stays a gap across a
// minute, an hour or a clock change.
#include "base/timer.hpp"

namespace terminal {

struct LocalTime {
  int year = 1970;
  int month = 1;
  int day = 1;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

class LocalClock {
 public:
  virtual ~LocalClock() = default;
  virtual LocalTime now() const = 0;
};

class SystemLocalClock final : public LocalClock {
 public:
  LocalTime now() const override;
};

// When bytes arrived: the monotonic time (the timer service's) and the local time.
struct Stamp {
  base::Millis monotonic{0};
  LocalTime local;
};

}  // namespace terminal
