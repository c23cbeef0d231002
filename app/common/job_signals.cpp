#include "app/common/job_signals.hpp"

#include <pthread.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <ctime>

namespace app {
namespace {

sigset_t jobSignals() {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, SIGINT);
  sigaddset(&set, SIGTERM);
  sigaddset(&set, SIGHUP);
  return set;
}

const char* signalName(int sig) {
  switch (sig) {
    case SIGINT:
      return "SIGINT";
    case SIGTERM:
      return "SIGTERM";
    default:
      return "SIGHUP";
  }
}

}  // namespace

JobSignals::JobSignals() {
  const sigset_t set = jobSignals();
  pthread_sigmask(SIG_BLOCK, &set, nullptr);
  watcher_ = std::thread([this] { watch(); });
}

JobSignals::~JobSignals() {
  stop_.store(true);
  watcher_.join();
  // A signal that came after the job's end is still pending: it acts as it would have, now.
  const sigset_t set = jobSignals();
  pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
}

void JobSignals::onCancel(std::function<void()> cancel) {
  std::lock_guard lock(mutex_);
  cancel_ = std::move(cancel);
  if (cancel_ && received_.load() != 0) cancel_();
}

int JobSignals::exitStatus(int status) const {
  const int sig = received_.load();
  return sig != 0 ? 128 + sig : status;
}

void JobSignals::watch() {
  const sigset_t set = jobSignals();
  // sigtimedwait wakes now and then, so that the destructor's stop is seen.
  const timespec period{0, 100 * 1000 * 1000};
  while (!stop_.load()) {
    const int sig = sigtimedwait(&set, nullptr, &period);
    if (sig < 0) continue;
    int none = 0;
    if (!received_.compare_exchange_strong(none, sig)) {
      // The second signal: the process ends at once, by that signal.
      std::signal(sig, SIG_DFL);
      sigset_t one;
      sigemptyset(&one);
      sigaddset(&one, sig);
      pthread_sigmask(SIG_UNBLOCK, &one, nullptr);
      raise(sig);
      continue;
    }
    std::fprintf(stderr, "--> %s received: the job is cancelled.\n", signalName(sig));
    std::lock_guard lock(mutex_);
    if (cancel_) cancel_();
  }
}

}  // namespace app
