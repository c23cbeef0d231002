#include "widgets/qt_timer_service.hpp"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <algorithm>
#include <functional>
#include <vector>

namespace {

void spinUntil(const std::function<bool()>& done) {
  QElapsedTimer guard;
  guard.start();
  while (!done() && guard.elapsed() < 5000) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
}

TEST(QtTimerService, FiresEachIdIntoTheOneHandlerUntilStopped) {
  widgets::QtTimerService timers;
  std::vector<int> fired;
  timers.setHandler([&](int id) {
    fired.push_back(id);
    if (id == 7) timers.stop(7);
  });
  timers.start(5, base::Millis(1));
  timers.start(7, base::Millis(1));
  EXPECT_TRUE(timers.running(5));
  spinUntil([&] { return std::count(fired.begin(), fired.end(), 5) >= 3; });
  timers.stop(5);
  EXPECT_FALSE(timers.running(5));
  EXPECT_FALSE(timers.running(7));
  EXPECT_EQ(std::count(fired.begin(), fired.end(), 7), 1);
  EXPECT_FALSE(timers.running(42));
}

TEST(QtTimerService, TimeMovesAcrossAWait) {
  widgets::QtTimerService timers;
  const base::Millis before = timers.now();
  timers.wait(base::Millis(20));
  EXPECT_GE((timers.now() - before).count(), 20);
}

}  // namespace
