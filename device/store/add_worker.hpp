#pragma once
// The store manager's adds on a worker thread: files are queued and added one by one, so that the
// window never waits while a program is stored. The thread takes the user's interface language
// first. While it runs the sink hears onControlsEnabled(false), and true once the queue is empty;
// the front end starts no other operation of the session meanwhile.
#include <deque>
#include <mutex>
#include <thread>

#include "device/store/store_session.hpp"

namespace store {

class AddWorker {
 public:
  AddWorker(StoreSession& session, int language) : session_(session), language_(language) {}
  // Waits for the queued adds: the programmer is never left to a thread nobody waits for.
  ~AddWorker();
  AddWorker(const AddWorker&) = delete;
  AddWorker& operator=(const AddWorker&) = delete;

  // Queues the file; starts the thread when none runs.
  void enqueue(AddRequest request);
  // True from the first enqueue until the queue is empty and the thread has said so.
  bool busy() const;
  // Waits until the queue is empty and the thread has ended.
  void wait();

 private:
  void run();

  StoreSession& session_;
  int language_;
  mutable std::mutex mutex_;
  std::deque<AddRequest> queue_;
  bool active_ = false;
  std::thread thread_;
};

}  // namespace store
