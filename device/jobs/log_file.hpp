#pragma once
// The log file of qubrix-tool's -l option: every log line appended with a time stamp. Texts that
// carry several lines give one stamped line each; a text cut off without a line break is finished
// by the next one, as in the log pane.
#include <filesystem>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>

namespace usbjobs {

class LogFile {
 public:
  // An empty path keeps no file.
  explicit LogFile(const std::filesystem::path& path);
  ~LogFile();

  // False when a path was given and the file cannot be appended to.
  bool ok() const { return !wanted_ || out_.good(); }
  void append(std::string_view text);

 private:
  void writeLine(std::string_view line);

  bool wanted_;
  std::ofstream out_;
  std::mutex mutex_;
  std::string partial_;
};

// "2026-12-10 09:31:22.123" in local time.
std::string timeStamp();

}  // namespace usbjobs
