#pragma once
// Recording a touch session's samples to a CSV file while the user wants it. The rows go to
// "<file>.part", flushed after every sample, and only a finished recording is renamed to <file>:
// a file still named .part is a recording that was cut short. A write that fails ends the
// recording with a red log line and leaves the .part file as far as it got.
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "base/report.hpp"
#include "base/timer.hpp"
#include "touch/channel_model.hpp"

namespace touch {

// "touch_YYYYMMDD_HHMMSS.csv" in `directory` for the local time `when`, with "_2", "_3"… added
// when that name or its .part file is taken.
std::filesystem::path recordingPath(const std::filesystem::path& directory, std::chrono::system_clock::time_point when);

class SampleRecorder {
 public:
  explicit SampleRecorder(base::Reporter& reporter) : reporter_(reporter) {}
  // A recording still open is finished silently.
  ~SampleRecorder();
  SampleRecorder(const SampleRecorder&) = delete;
  SampleRecorder& operator=(const SampleRecorder&) = delete;

  static std::filesystem::path partialPath(const std::filesystem::path& file);

  // Opens file's .part (a recording already open is finished first); false, with a red line, when
  // it cannot be created.
  bool start(const std::filesystem::path& file);
  // Appends the model's rows; the first sample writes the header and sets the time origin.
  void add(const ChannelModel& model, base::Millis at);
  // Closes the file and gives it its name; false, with a red line, when that failed. Nothing
  // happens when no recording is open.
  bool stop();
  bool recording() const { return file_ != nullptr; }

 private:
  bool writeHeaderOnce();
  bool finish();
  void fail(const std::filesystem::path& path);

  base::Reporter& reporter_;
  std::FILE* file_ = nullptr;
  std::filesystem::path target_;
  std::optional<base::Millis> origin_;
  std::string rows_;
};

}  // namespace touch
