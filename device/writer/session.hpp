#pragma once
// The Writer link with its receive thread. The thread sets its language first, then reads one
// report at a time while reading is allowed (the window stops it in ISP mode), hands each to the
// protocol and writes the answer; it ends when stopped or when a read fails. The UI thread writes
// only the start report and Cancel's reset. Both go through one lock with the thread's handling,
// so at most one report is in flight and the UI learns the state only through the sink.
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "device/writer/job.hpp"
#include "device/writer/link.hpp"
#include "device/writer/protocol.hpp"
#include "device/writer/sink.hpp"

namespace qx::writer {

class WriterSession {
 public:
  using Clock = std::function<Millis()>;

  // `langId`: the receive thread's language ("General"/"LangID"). `settle`: the pause between
  // finding the Writer and the start report.
  WriterSession(WriterSink& sink, int langId, Millis settle = Millis(100), Clock clock = {});
  ~WriterSession();
  WriterSession(const WriterSession&) = delete;
  WriterSession& operator=(const WriterSession&) = delete;

  // Opens the Writer at `path` (any Writer when empty) unless the receive thread already holds it,
  // sends the start report and starts the thread. False when the start failed; the failure has
  // been reported then and Download stays enabled.
  bool startDownload(DownloadJob job, const std::string& path = {});
  // Only the offline status reports: opens the Writer and starts the thread. False without one.
  bool watch(const std::string& path = {});
  // Back to idle, Download enabled; the Writer is not told.
  void cancel();
  void setReading(bool reading);
  // Ends the thread and releases the Writer.
  void stop();

  bool receiving() const { return running_.load(); }

 private:
  bool attach(const std::string& path);
  void run();

  WriterSink& sink_;
  const int langId_;
  const Millis settle_;
  Clock clock_;
  WriterProtocol protocol_;

  std::mutex mutex_;
  std::condition_variable wake_;
  std::shared_ptr<WriterLink> link_;
  bool reading_ = true;
  bool stop_ = false;
  std::atomic<bool> running_{false};
  std::thread thread_;
};

}  // namespace qx::writer
