#include "ui/main/mode_plan.hpp"

namespace mainwin {

ModePlan PlanMode(int mode, int serialBaudIndex) {
  ModePlan p;
  p.show.log = true;
  switch (mode) {
    case kModeIsp:
    case kModeWriter:
      p.notes = {mode == kModeIsp ? 155 : 156};
      if (mode == kModeIsp) p.baudIndex = 0;
      p.show.fileRow = p.show.bufferTab = p.show.fileInfo = p.show.writePage = true;
      break;
    case kModeTouch:
      p.notes = {149, 150, 151, 152, 153, 154};
      p.notesInRed = true;
      p.baudIndex = 8;  // 115200
      p.show.bufferTab = p.show.touchTable = p.show.touchGraph = true;
      break;
    case kModeSerial:
      p.notes = {158, 159, 160, 161, 162, 163};
      p.notesInRed = true;
      p.baudIndex = serialBaudIndex <= 0 || serialBaudIndex > 11 ? 5 : serialBaudIndex;
      p.show.serialViews = true;
      p.resizable = true;
      break;
    default:
      break;
  }
  return p;
}

}  // namespace mainwin
