#pragma once
// The command line of qubrix-tool: [load|verify|erase] [-t MODEL] [-l LOGFILE] [-h] [FILE].
#include <string>

namespace tool {

inline constexpr int kModeWindow = 0;
inline constexpr int kModeLoad = 1;
inline constexpr int kModeVerify = 2;
inline constexpr int kModeErase = 3;

struct CommandLineRequest {
  int mode = kModeWindow;
  std::string target;
  std::string file;
  std::string logFile;
};

// GNU getopt over the vector shifted by one, so the verb (or whatever argument 1 is) stands in for
// getopt's program name: without a verb, "-t M file" leaves `target` empty and makes `file` M.
void ParseCommandLine(CommandLineRequest& request, int argc, char** argv);

}  // namespace tool
