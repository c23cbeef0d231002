#pragma once
// The three ways qubrix-tool runs, one file each: the main window, the `load` dialog, and the
// headless `verify`/`erase` jobs. Each returns the process exit status.
#include "app/tool/command_line.hpp"

namespace tool {

int runMainWindow(const CommandLineRequest& request);
int runLoadDialog(const CommandLineRequest& request);
int runHeadless(const CommandLineRequest& request);

}  // namespace tool
