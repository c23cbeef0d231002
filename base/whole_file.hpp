#pragma once
// Writing a file whole or not at all: the bytes go to a temporary file beside the target, which is
// renamed over it only once everything was written, so a failed write never leaves a half file
// under the chosen name.
#include <cstdint>
#include <filesystem>
#include <span>
#include <string_view>

namespace base {

// True when `path` holds exactly `bytes` afterwards; on failure the path is as it was and no
// temporary file is left behind.
bool WriteWholeFile(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);
bool WriteWholeFile(const std::filesystem::path& path, std::string_view text);

}  // namespace base
