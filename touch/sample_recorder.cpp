#include "touch/sample_recorder.hpp"

#include <ctime>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "touch/sample_csv.hpp"

namespace touch {

std::filesystem::path recordingPath(const std::filesystem::path& directory,
                                    std::chrono::system_clock::time_point when) {
  const std::time_t t = std::chrono::system_clock::to_time_t(when);
  std::tm local{};
  localtime_r(&t, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y%m%d_%H%M%S", &local);
  std::error_code ec;
  for (int n = 1;; ++n) {
    const std::string suffix = n == 1 ? std::string() : "_" + std::to_string(n);
    const std::filesystem::path candidate = directory / (std::string("touch_") + stamp + suffix + ".csv");
    if (!std::filesystem::exists(candidate, ec) &&
        !std::filesystem::exists(SampleRecorder::partialPath(candidate), ec)) {
      return candidate;
    }
  }
}

std::filesystem::path SampleRecorder::partialPath(const std::filesystem::path& file) {
  std::filesystem::path partial = file;
  partial += ".part";
  return partial;
}

SampleRecorder::~SampleRecorder() {
  if (file_ != nullptr) finish();
}

bool SampleRecorder::start(const std::filesystem::path& file) {
  stop();
  target_ = file;
  origin_.reset();
  file_ = std::fopen(partialPath(file).c_str(), "wb");
  if (file_ == nullptr) {
    fail(file);
    return false;
  }
  reporter_.onLog("--> " + base::format(base::text("touch.record_to").c_str(), partialPath(file).string().c_str()),
                  base::LogColour::Normal);
  return true;
}

bool SampleRecorder::writeHeaderOnce() {
  if (origin_) return true;
  return std::fputs(kCsvHeader, file_) >= 0;
}

void SampleRecorder::add(const ChannelModel& model, base::Millis at) {
  if (file_ == nullptr) return;
  const bool headed = writeHeaderOnce();
  if (!origin_) origin_ = at;
  rows_.clear();
  appendCsvRows(rows_, model, (at - *origin_).count());
  // Flushed per sample, so a crash or a pulled cable loses at most the sample being written.
  const bool written =
      headed && std::fwrite(rows_.data(), 1, rows_.size(), file_) == rows_.size() && std::fflush(file_) == 0;
  if (!written) {
    std::fclose(file_);
    file_ = nullptr;
    fail(partialPath(target_));
  }
}

bool SampleRecorder::finish() {
  // A recording without samples still says what its columns are.
  const bool headed = writeHeaderOnce();
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!headed || !closed) return false;
  std::error_code ec;
  std::filesystem::rename(partialPath(target_), target_, ec);
  return !ec;
}

bool SampleRecorder::stop() {
  if (file_ == nullptr) return false;
  if (!finish()) {
    fail(partialPath(target_));
    return false;
  }
  reporter_.onLog("--> " + base::format(base::text("firmware.cli.saved_to").c_str(), target_.string().c_str()),
                  base::LogColour::Normal);
  return true;
}

void SampleRecorder::fail(const std::filesystem::path& path) {
  reporter_.onLog("--> " + base::format(base::text("touch.record_failed").c_str(), path.string().c_str()),
                  base::LogColour::Error);
}

}  // namespace touch
