#pragma once
// A download through the protocol and an emulated Writer on one thread: every report the protocol
// sends goes to the Writer, every reply it has ready comes back, until neither has more to say.
#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "device/writer/job.hpp"
#include "device/writer/protocol.hpp"
#include "device/writer/sink.hpp"
#include "emulator/writer/emulated_writer.hpp"

namespace writertest {

struct Line {
  std::string text;
  base::LogColour colour;
};

class RecordingSink final : public qx::writer::WriterSink {
 public:
  void onLog(const std::string& line, base::LogColour colour) override {
    std::lock_guard lock(mutex);
    lines.push_back({line, colour});
  }
  void onMessage(const std::string& caption, const std::string& text, base::MessageIcon) override {
    std::lock_guard lock(mutex);
    messages.push_back(caption + ": " + text);
  }
  void onProgressRange(int, int high) override { progressHigh = high; }
  void onProgress(int position) override { progress.push_back(position); }
  void onControlsEnabled(bool enabled) override { controls.push_back(enabled); }
  void onClearLog() override {
    std::lock_guard lock(mutex);
    lines.clear();
    ++clears;
  }
  void onDownloadEnded(base::Outcome outcome) override {
    std::lock_guard lock(mutex);
    outcomes.push_back(outcome);
    ended.notify_all();
  }

  bool logged(const std::string& text) const;
  std::vector<std::string> texts() const;
  // Waits, with a generous bound, until a download has ended.
  bool waitForEnd(std::chrono::seconds bound = std::chrono::seconds(20));

  mutable std::mutex mutex;
  std::condition_variable ended;
  std::vector<Line> lines;
  std::vector<std::string> messages;
  std::vector<int> progress;
  std::vector<bool> controls;
  std::vector<base::Outcome> outcomes;
  int progressHigh = -1;
  int clears = 0;
};

// A job of `length` bytes counting up from 0, for a model of the given family type.
qx::writer::DownloadJob countingJob(std::uint32_t length, std::uint16_t familyType = 0x100);

struct Bench {
  RecordingSink sink;
  qx::writer::WriterProtocol protocol{sink};
  std::shared_ptr<emulator::writer::EmulatedWriter> writer;
  std::chrono::milliseconds now{0};

  explicit Bench(emulator::writer::WriterConfig config = {});
  // Starts the download and exchanges until nothing is left to say.
  void download(const qx::writer::DownloadJob& job);
  void exchange();
  // Host reports, deciphered, after the start report.
  std::vector<qx::writer::Report> hostReports() const;
  std::vector<qx::writer::Report> dataPackets() const;
};

}  // namespace writertest
