#pragma once
// The MD5 digest (RFC 1321) the manifests give for every firmware file.
#include <filesystem>
#include <string>

namespace update {

// 32 lower-case hexadecimal digits; empty when the file cannot be opened or read.
std::string fileMd5Hex(const std::filesystem::path& file);

}  // namespace update
