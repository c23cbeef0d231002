#include "touch/export.hpp"

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <system_error>

#include "base/strformat.hpp"

namespace touch {
namespace {

std::string channelField(unsigned number) {
  return number < 10 ? base::format("%u ", number) : base::format("%u", number);
}

std::string thresholdField(unsigned value) {
  return value < 1000 ? base::format("%3u ", value) : base::format("%u", value);
}

bool writableDirectory(const std::filesystem::path& dir) {
  std::error_code ec;
  return !dir.empty() && std::filesystem::is_directory(dir, ec) && ::access(dir.c_str(), W_OK) == 0;
}

}  // namespace

std::filesystem::path userDataDirectory() {
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg != nullptr && *xdg != '\0') {
    return std::filesystem::path(xdg) / "QUBRIX";
  }
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home != nullptr ? home : ".") / ".local" / "share" / "QUBRIX";
}

std::string formatTouchConfig(std::span<const std::uint8_t> numbers, std::span<const std::uint16_t> thresholds) {
  std::string out = "  #define KEY_SEQ       \\\r\n";
  const std::size_t count = std::min(numbers.size(), thresholds.size());
  for (std::size_t i = 0; i < count; ++i) {
    out += "  {TS_CH" + channelField(numbers[i]) + ", " + thresholdField(thresholds[i]) + "},      \\\r\n";
  }
  return out;
}

std::filesystem::path exportDirectory(const std::filesystem::path& executableDir, const std::filesystem::path& dataDir) {
  if (writableDirectory(executableDir)) return executableDir;
  std::error_code ec;
  std::filesystem::create_directories(dataDir, ec);
  return dataDir;
}

std::filesystem::path exportDirectory() {
  std::error_code ec;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
  return exportDirectory(ec ? std::filesystem::path() : exe.parent_path(), userDataDirectory());
}

}  // namespace touch
