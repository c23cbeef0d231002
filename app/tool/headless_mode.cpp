#include <cstdio>

#include "app/tool/modes.hpp"

namespace tool {

int runHeadless(const CommandLineRequest& request) {
  std::fprintf(stderr, "qubrix-tool: '%s' is not available yet in this build.\n",
               request.mode == kModeVerify ? "verify" : "erase");
  return 2;
}

}  // namespace tool
