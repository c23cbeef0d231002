#pragma once
// Points XDG_CONFIG_HOME, XDG_DATA_HOME, XDG_STATE_HOME and XDG_RUNTIME_DIR at a fresh temporary
// folder for the lifetime of the object, so tests never touch a user's settings, emulator state,
// programmer locks or emulated port list, nor those of a test running beside them.
#include <filesystem>

namespace testsupport {

class TempHome {
 public:
  TempHome();
  ~TempHome();
  TempHome(const TempHome&) = delete;
  TempHome& operator=(const TempHome&) = delete;

  const std::filesystem::path& path() const { return root_; }

 private:
  std::filesystem::path root_;
};

// A fresh empty directory under the system's temporary folder; removed by the caller.
std::filesystem::path makeTempDir(const char* prefix);

}  // namespace testsupport
