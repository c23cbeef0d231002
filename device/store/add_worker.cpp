#include "device/store/add_worker.hpp"

#include "base/texts.hpp"

namespace store {

AddWorker::~AddWorker() { wait(); }

void AddWorker::enqueue(AddRequest request) {
  std::unique_lock lock(mutex_);
  queue_.push_back(std::move(request));
  if (active_) return;
  active_ = true;
  // The thread before has left its loop; it only has to be joined.
  std::thread finished = std::move(thread_);
  thread_ = std::thread(&AddWorker::run, this);
  lock.unlock();
  if (finished.joinable()) finished.join();
}

bool AddWorker::busy() const {
  std::lock_guard lock(mutex_);
  return active_;
}

void AddWorker::wait() {
  std::thread running;
  {
    std::lock_guard lock(mutex_);
    running = std::move(thread_);
  }
  if (running.joinable()) running.join();
}

void AddWorker::run() {
  base::setThreadLanguage(language_);
  session_.sink().onControlsEnabled(false);
  for (;;) {
    AddRequest request;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) {
        active_ = false;
        // Said under the lock, so that a thread started after this one reports after it.
        session_.sink().onControlsEnabled(true);
        return;
      }
      request = std::move(queue_.front());
      queue_.pop_front();
    }
    session_.add(request);
  }
}

}  // namespace store
