#include "app/tool/command_line.hpp"

#include <getopt.h>

#include <cstring>
#include <vector>

#include "base/trace.hpp"

namespace tool {

void ParseCommandLine(CommandLineRequest& request, int argc, char** argv) {
  request = CommandLineRequest{};
  base::trace("__argc=%d __argv[0]=%s\n", argc, argc > 0 ? argv[0] : "");
  if (argc < 2) return;

  if (std::strcmp(argv[1], "load") == 0) {
    request.mode = kModeLoad;
  } else if (std::strcmp(argv[1], "verify") == 0) {
    request.mode = kModeVerify;
  } else if (std::strcmp(argv[1], "erase") == 0) {
    request.mode = kModeErase;
  }

  // GNU getopt permutes the vector it is given; work on a copy so the caller's argv stays intact.
  std::vector<char*> shifted(argv + 1, argv + argc);
  shifted.push_back(nullptr);
  const int shiftedCount = argc - 1;
  optind = 0;  // glibc: full re-initialisation, so a later parse in the same process starts afresh
  opterr = 1;
  for (;;) {
    int c = getopt(shiftedCount, shifted.data(), "t:l:h");
    base::trace("c=%d 0x%X\n", c, static_cast<unsigned>(c));
    if (c == -1) break;
    if (c == 'l') {
      base::trace("logfile = %s\n", optarg);
      request.logFile = optarg;
    } else if (c == 't') {
      base::trace("target = %s\n", optarg);
      request.target = optarg;
    } else {
      base::trace("usage");
    }
  }
  if (optind < shiftedCount) {
    base::trace("%s", shifted[static_cast<std::size_t>(optind)]);
    request.file = shifted[static_cast<std::size_t>(optind)];
  }
}

}  // namespace tool
