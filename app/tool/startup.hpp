#pragma once
// Start-up pieces of qubrix-tool that do not need a window.
#include <filesystem>

namespace tool {

// The previous executable that a self-update leaves beside the running one.
inline constexpr const char* kLeftoverExecutableName = "QUBRIX_TOOL.exe.old";

// Deletes the leftover in `executableDir` if it is there; a failure is ignored.
void deleteLeftoverExecutable(const std::filesystem::path& executableDir);

}  // namespace tool
