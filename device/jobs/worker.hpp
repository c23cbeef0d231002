#pragma once
// A USB job on its own thread. The thread first takes the user's interface language, so that the
// texts raised in it (also the programmer's status messages) follow it. `running` is the job's
// flag: set at the start, cleared by cancel(); the job tests it between units.
#include <atomic>
#include <functional>
#include <thread>

#include "device/jobs/sink.hpp"

namespace usbjobs {

class JobThread {
 public:
  using Body = std::function<base::Outcome(const std::atomic<bool>& running)>;

  JobThread(int language, Body body);
  // Waits for the job: the programmer is never left to a thread nobody waits for.
  ~JobThread();
  JobThread(const JobThread&) = delete;
  JobThread& operator=(const JobThread&) = delete;

  void cancel() { running_.store(false); }
  bool finished() const { return finished_.load(); }
  // Waits for the end; the job's outcome.
  base::Outcome wait();

 private:
  std::atomic<bool> running_{true};
  std::atomic<bool> finished_{false};
  base::Outcome outcome_ = base::Outcome::Failed;
  std::thread thread_;
};

}  // namespace usbjobs
