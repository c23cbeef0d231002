#pragma once
// Writing a file whole or not at all: the bytes go to a temporary file beside the target, which is
// renamed over it only once everything is on disk.
#include <filesystem>
#include <string_view>

namespace mainwin {

// False when the file could not be written; the target is then untouched and no temporary stays.
bool writeFileWhole(const std::filesystem::path& path, std::string_view bytes);

}  // namespace mainwin
