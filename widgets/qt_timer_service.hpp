#pragma once
// The window's timers behind the core's TimerService: one QTimer per fixed id, all firing on the
// user-interface thread into one handler, which dispatches by id to whichever engine owns it.
#include <QElapsedTimer>
#include <QObject>
#include <functional>
#include <map>

#include "base/timer.hpp"

class QTimer;

namespace widgets {

class QtTimerService final : public QObject, public base::TimerService {
 public:
  using FireHandler = std::function<void(int id)>;

  explicit QtTimerService(QObject* parent = nullptr);
  void setHandler(FireHandler onFire) { onFire_ = std::move(onFire); }

  void start(int id, base::Millis interval) override;
  void stop(int id) override;
  bool running(int id) const override;
  base::Millis now() const override;
  // A plain sleep of the user-interface thread, as the protocols' prescribed waits are.
  void wait(base::Millis duration) override;

 private:
  FireHandler onFire_;
  std::map<int, QTimer*> timers_;
  QElapsedTimer clock_;
};

}  // namespace widgets
