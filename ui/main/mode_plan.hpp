#pragma once
// What a mode switch does beyond the panels: the notes it logs, which controls of the window it
// shows, and the baud-rate index it leaves behind.
#include <optional>
#include <vector>

namespace mainwin {

enum Mode : int { kModeIsp = 0, kModeWriter = 1, kModeTouch = 2, kModeSerial = 3 };
inline constexpr int kModeCount = 4;

struct ModeVisibility {
  bool fileRow = false;      // "File" label, path field, open button
  bool bufferTab = false;
  bool fileInfo = false;     // checksum and file-size labels
  bool writePage = false;
  bool touchTable = false;
  bool touchGraph = false;
  bool serialViews = false;  // receive view, send field, Send button
  bool log = false;
};

struct ModePlan {
  std::vector<int> notes;           // text numbers, logged in this order after clearing the log
  bool notesInRed = false;
  ModeVisibility show;
  std::optional<int> baudIndex;     // empty: left as it is
  bool resizable = false;
};

// `serialBaudIndex` is the serial assistant's saved index, used in mode 3.
ModePlan PlanMode(int mode, int serialBaudIndex);

}  // namespace mainwin
