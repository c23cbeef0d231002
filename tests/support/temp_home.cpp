#include "tests/support/temp_home.hpp"

#include <cstdlib>
#include <stdexcept>
#include <string>

namespace testsupport {

std::filesystem::path makeTempDir(const char* prefix) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(prefix) + "XXXXXX")).string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  return pattern;
}

TempHome::TempHome() : root_(makeTempDir("qubrix-home-")) {
  for (const char* var : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"}) {
    std::filesystem::path dir = root_ / var;
    std::filesystem::create_directories(dir);
    setenv(var, dir.c_str(), 1);
  }
  const std::filesystem::path runtime = root_ / "XDG_RUNTIME_DIR";
  std::filesystem::create_directories(runtime);
  std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
  setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
}

TempHome::~TempHome() {
  std::error_code ec;
  std::filesystem::remove_all(root_, ec);
}

}  // namespace testsupport
