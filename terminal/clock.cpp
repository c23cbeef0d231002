#include "terminal/clock.hpp"

#include <chrono>
#include <ctime>

namespace terminal {

LocalTime SystemLocalClock::now() const {
  const auto at = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(at);
  std::tm tm{};
  localtime_r(&seconds, &tm);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(at.time_since_epoch()).count() % 1000;
  return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec, static_cast<int>(ms)};
}

}  // namespace terminal
