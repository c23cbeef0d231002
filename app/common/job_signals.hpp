#pragma once
// SIGINT, SIGTERM and SIGHUP (Ctrl+C, kill, a closed terminal) as Cancel for the whole of one
// command-line job: from construction on, before any of the job's threads start, the three signals
// are taken by a thread of their own, which calls the job's cancel. The job then ends as it ends on
// a cancel (target powered off, programmer closed) and the process exits with 128 + the signal. A
// second signal ends the process at once, as it would have without this.
#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace app {

class JobSignals {
 public:
  // Must be made on the main thread before the job starts any thread: they inherit its mask.
  JobSignals();
  ~JobSignals();
  JobSignals(const JobSignals&) = delete;
  JobSignals& operator=(const JobSignals&) = delete;

  // What a signal does, called on the signal thread; a signal that came before is acted on now.
  void onCancel(std::function<void()> cancel);
  // The job is over: later signals find nothing to cancel.
  void clearCancel() { onCancel({}); }
  // The first signal received, 0 while none.
  int received() const { return received_.load(); }
  // 128 + the signal when one came (130, 143, 129), else `status`.
  int exitStatus(int status) const;

 private:
  void watch();

  std::atomic<int> received_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::function<void()> cancel_;
  std::thread watcher_;
};

}  // namespace app
