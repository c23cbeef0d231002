#include <QApplication>
#include <cstdio>

#include "app/tool/modes.hpp"
#include "device/jobs/log_file.hpp"
#include "emulator/programmer/bench.hpp"
#include "ui/load/program_device_dialog.hpp"

namespace tool {

int runLoadDialog(const CommandLineRequest& request) {
  emulator::programmer::attachBenchFromEnvironment();
  usbjobs::LogFile log(request.logFile);
  if (!log.ok()) std::fprintf(stderr, "qubrix-tool: cannot append to the log file %s\n", request.logFile.c_str());
  ProgramDeviceDialog dialog(request.target, request.file, &log);
  dialog.exec();
  return 0;
}

}  // namespace tool
