#include "device/jobs/log_file.hpp"

#include <chrono>
#include <ctime>

#include "base/strformat.hpp"

namespace usbjobs {

LogFile::LogFile(const std::filesystem::path& path) : wanted_(!path.empty()) {
  if (wanted_) out_.open(path, std::ios::app | std::ios::binary);
}

LogFile::~LogFile() {
  if (!partial_.empty()) writeLine(partial_);
}

void LogFile::append(std::string_view text) {
  if (!wanted_) return;
  std::lock_guard<std::mutex> lock(mutex_);
  for (;;) {
    const std::size_t br = text.find('\n');
    if (br == std::string_view::npos) break;
    partial_.append(text.substr(0, br));
    if (!partial_.empty() && partial_.back() == '\r') partial_.pop_back();
    writeLine(partial_);
    partial_.clear();
    text.remove_prefix(br + 1);
  }
  partial_.append(text);
}

void LogFile::writeLine(std::string_view line) {
  out_ << timeStamp() << ' ' << line << '\n';
  out_.flush();
}

std::string timeStamp() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t t = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&t, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d %H:%M:%S", &local);
  return base::format("%s.%03d", buf, static_cast<int>(ms));
}

}  // namespace usbjobs
