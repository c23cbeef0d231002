#include "base/whole_file.hpp"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <system_error>

namespace base {
namespace {

// A name no other writer uses: the target's name, the time and a process-wide counter. "wbx"
// refuses an existing file, so a clash costs one more try rather than a shared file.
std::FILE* openTemporary(const std::filesystem::path& target, std::filesystem::path& temporary) {
  static std::atomic<unsigned> counter{0};
  const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
  for (int attempt = 0; attempt < 16; ++attempt) {
    temporary = target;
    temporary += "." + std::to_string(now) + "-" + std::to_string(counter++) + ".part";
    if (std::FILE* f = std::fopen(temporary.string().c_str(), "wbx")) return f;
    std::error_code ec;
    if (!std::filesystem::exists(temporary, ec)) return nullptr;  // the folder refuses, not a clash
  }
  return nullptr;
}

}  // namespace

bool WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes) {
  std::filesystem::path temporary;
  std::FILE* f = openTemporary(path, temporary);
  if (f == nullptr) return false;
  const bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  const bool closed = std::fclose(f) == 0;
  std::error_code ec;
  if (written && closed) {
    std::filesystem::rename(temporary, path, ec);
    if (!ec) return true;
  }
  std::filesystem::remove(temporary, ec);
  return false;
}

bool WriteWholeFile(const std::filesystem::path& path, std::string_view text) {
  return WriteWholeFile(path, std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

}  // namespace base
