#pragma once
// The program's own update: compare its compiled-in version with the one the update server
// publishes in "QUBRIXToolTFT/tool.xml", ask, download the new program beside the running one as
// "<new name>.new", check its MD5, and swap it in. The old program is moved to
// "QUBRIX_TOOL.exe.old" (removed at the next start of the window). The swap is undone whenever a
// step of it fails, so the user is never left without a program under its name.
#include <filesystem>
#include <optional>
#include <string>

#include "base/report.hpp"

namespace update {

inline constexpr const char* kAppManifestPath = "QUBRIXToolTFT/tool.xml";
inline constexpr const char* kOldProgramName = "QUBRIX_TOOL.exe.old";

class SelfUpdateSink : public virtual base::Reporter {
 public:
  // A Yes/No question; true only for Yes.
  virtual bool onQuestion(const std::string& caption, const std::string& text) = 0;
};

struct SelfUpdateResult {
  base::Outcome outcome = base::Outcome::Failed;
  // After a success: the installed program to start before this one exits with code 0.
  std::filesystem::path successor;
  // True when a newer version is published (also with checkOnly).
  bool newer = false;
};

// `currentVersion` is the program's own version text; `executable` the running program's file.
// With `checkOnly` it stops after telling whether an update is available.
SelfUpdateResult selfUpdate(const std::string& currentVersion, const std::filesystem::path& executable,
                            SelfUpdateSink& sink, bool checkOnly = false);

// Starts `program` detached; false when it could not be started.
bool startProgram(const std::filesystem::path& program);

// The running program's file (/proc/self/exe).
std::filesystem::path ownExecutable();

}  // namespace update
