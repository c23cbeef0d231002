#pragma once
// What the terminal tells its view beyond log lines and message boxes.
#include <filesystem>

#include "base/report.hpp"
#include "terminal/receive_display.hpp"

namespace terminal {

class TerminalSink : public virtual base::Reporter {
 public:
  // Changes to the receive pane, in order.
  virtual void onDisplay(const DisplayUpdate& update) = 0;
  // The open button's caption and icon ("Close" while open).
  virtual void onPortOpenChanged(bool open) = 0;
  // "Scheduled sending" checked or unchecked by the terminal itself.
  virtual void onTimedSendChanged(bool on) = 0;
  // Save Data wrote this file; the window opens it with the desktop's handler.
  virtual void onSaved(const std::filesystem::path& /*file*/) {}
};

}  // namespace terminal
