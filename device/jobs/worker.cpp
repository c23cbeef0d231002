#include "device/jobs/worker.hpp"

#include "base/texts.hpp"

namespace usbjobs {

JobThread::JobThread(int language, Body body)
    : thread_([this, language, body = std::move(body)] {
        base::setThreadLanguage(language);
        outcome_ = body(running_);
        finished_.store(true);
      }) {}

JobThread::~JobThread() {
  if (thread_.joinable()) thread_.join();
}

base::Outcome JobThread::wait() {
  if (thread_.joinable()) thread_.join();
  return outcome_;
}

}  // namespace usbjobs
