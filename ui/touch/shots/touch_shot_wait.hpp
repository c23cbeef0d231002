#pragma once
// What both Touch debug pictures wait for: some seconds of samples in the plot, so that it shows its
// scrolling, and a key triggered long enough (three looks in a row) to be seen in the table.
#include <QApplication>
#include <QElapsedTimer>
#include <QThread>

#include <functional>

#include "touch/sample_history.hpp"

namespace touchshots {

inline constexpr long long kPlottedMs = 6000;
inline constexpr int kWaitMs = 30000;

// False when the key was not seen triggered within kWaitMs.
inline bool waitForAPlottedPress(const touch::SampleHistory& plotted, const std::function<bool()>& keyTriggered) {
  const auto plottedMs = [&] { return plotted.size() < 2 ? 0 : (plotted.timeAt(plotted.size() - 1) - plotted.timeAt(0)).count(); };
  QElapsedTimer waited;
  waited.start();
  int pressedFor = 0;
  while (waited.elapsed() < kWaitMs && (pressedFor < 3 || plottedMs() < kPlottedMs)) {
    QApplication::processEvents();
    QThread::msleep(2);
    pressedFor = keyTriggered() ? pressedFor + 1 : 0;
  }
  return pressedFor >= 3;
}

}  // namespace touchshots
