#include "device/writer/session.hpp"

#include <cerrno>

#include "base/texts.hpp"
#include "device/access.hpp"

namespace qx::writer {
namespace {

// How long one read waits, so that stop, cancel and the reply time-out are noticed promptly.
constexpr int kReadSliceMs = 50;

Millis steadyNow() {
  return std::chrono::duration_cast<Millis>(std::chrono::steady_clock::now().time_since_epoch());
}

}  // namespace

WriterSession::WriterSession(WriterSink& sink, int langId, Millis settle, Clock clock)
    : sink_(sink), langId_(langId), settle_(settle), clock_(clock ? std::move(clock) : Clock(steadyNow)),
      protocol_(sink) {}

WriterSession::~WriterSession() { stop(); }

bool WriterSession::attach(const std::string& path) {
  // Called with the lock held.
  if (running_ && link_ != nullptr) return true;
  if (thread_.joinable()) thread_.join();
  link_ = openWriter(path);
  return link_ != nullptr;
}

bool WriterSession::startDownload(DownloadJob job, const std::string& path) {
  std::unique_lock lock(mutex_);
  if (protocol_.downloading()) return false;
  if (!attach(path)) {
    // The Writer went between the lookup and now, or this user may not open it.
    protocol_.begin(std::move(job), clock_());
    protocol_.startFailed(ENODEV);
    if (const std::string hint = qx::permissionHint(qx::deniedDevices()); !hint.empty()) {
      sink_.onLog(hint, base::LogColour::Error);
    }
    return false;
  }
  lock.unlock();
  std::this_thread::sleep_for(settle_);
  lock.lock();
  const Report start = protocol_.begin(std::move(job), clock_());
  if (!link_->write(start)) {
    protocol_.startFailed(link_->lastErrorCode());
    return false;
  }
  sink_.onControlsEnabled(false);
  if (!running_) {
    stop_ = false;
    running_ = true;
    thread_ = std::thread(&WriterSession::run, this);
  }
  return true;
}

bool WriterSession::watch(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (!attach(path)) return false;
  if (!running_) {
    stop_ = false;
    running_ = true;
    thread_ = std::thread(&WriterSession::run, this);
  }
  return true;
}

void WriterSession::cancel() {
  std::lock_guard lock(mutex_);
  protocol_.cancel();
}

void WriterSession::setReading(bool reading) {
  {
    std::lock_guard lock(mutex_);
    reading_ = reading;
  }
  wake_.notify_all();
}

void WriterSession::stop() {
  {
    std::lock_guard lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
  std::lock_guard lock(mutex_);
  protocol_.cancel();
  if (link_ != nullptr) link_->close();
  link_.reset();
}

void WriterSession::run() {
  base::setThreadLanguage(langId_);
  std::shared_ptr<WriterLink> link;
  {
    std::lock_guard lock(mutex_);
    link = link_;
  }
  while (true) {
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return stop_ || reading_; });
      if (stop_) break;
    }
    Report in{};
    const ReadResult result = link->read(in, kReadSliceMs);
    std::lock_guard lock(mutex_);
    if (stop_) break;
    if (result == ReadResult::Failed) {
      protocol_.linkLost();
      link->close();
      link_.reset();
      break;
    }
    if (result == ReadResult::Got) {
      if (const std::optional<Report> answer = protocol_.onReport(in, clock_())) {
        if (!link->write(*answer)) protocol_.sendFailed(link->lastErrorCode());
      }
    }
    protocol_.checkTimeout(clock_());
  }
  running_ = false;
}

}  // namespace qx::writer
