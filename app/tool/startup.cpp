#include "app/tool/startup.hpp"

namespace tool {

void deleteLeftoverExecutable(const std::filesystem::path& executableDir) {
  std::error_code ignored;
  std::filesystem::remove(executableDir / kLeftoverExecutableName, ignored);
}

}  // namespace tool
