#pragma once
// Runs a call on the thread `owner` lives on: at once when already there, else queued behind what
// that thread has been given before, so a worker's reports reach the window in order.
#include <QMetaObject>
#include <QObject>
#include <QThread>
#include <utility>

namespace widgets {

template <class F>
void postTo(QObject* owner, F&& call) {
  if (QThread::currentThread() == owner->thread()) {
    std::forward<F>(call)();
  } else {
    QMetaObject::invokeMethod(owner, std::forward<F>(call), Qt::QueuedConnection);
  }
}

}  // namespace widgets
