#include "touch/power.hpp"

#include <memory>
#include <string>

#include "base/texts.hpp"
#include "device/exceptions.hpp"
#include "device/programmer_lock.hpp"
#include "device/touch_debug.hpp"

namespace touch {
namespace {

// A found and opened programmer; closes it at the end unless it belongs to a session. Outside a
// session it holds the programmer's lock, so no other process's job has its power switched.
class OpenTool {
 public:
  OpenTool(const ToolFinder& finder, std::shared_ptr<qx::TouchDebug> session) : tool_(std::move(session)) {
    if (tool_ != nullptr) return;
    tool_ = finder ? finder() : nullptr;
    if (tool_ == nullptr) return;
    lock_ = std::make_unique<qx::ProgrammerLock>(tool_->link()->serialNumber);
    if (!lock_->held()) {
      opened_ = false;
      return;
    }
    if (tool_->link()->isOpen()) {
      ownsOpen_ = false;
    } else if (tool_->link()->open()) {
      ownsOpen_ = true;
    } else {
      opened_ = false;
    }
  }
  ~OpenTool() {
    if (tool_ != nullptr && opened_ && ownsOpen_) tool_->link()->close();
  }
  OpenTool(const OpenTool&) = delete;
  OpenTool& operator=(const OpenTool&) = delete;

  bool found() const { return tool_ != nullptr; }
  bool opened() const { return tool_ != nullptr && opened_; }
  // Another process holds the programmer.
  bool refused() const { return lock_ != nullptr && !lock_->held(); }
  std::string refusal() const { return lock_ != nullptr ? lock_->refusal() : std::string(); }
  qx::TouchDebug& operator*() const { return *tool_; }

 private:
  std::shared_ptr<qx::TouchDebug> tool_;
  std::unique_ptr<qx::ProgrammerLock> lock_;
  bool opened_ = true;
  bool ownsOpen_ = false;
};

bool readPowered(const ToolFinder& finder, const std::shared_ptr<qx::TouchDebug>& session) {
  OpenTool tool(finder, session);
  if (!tool.opened()) return false;
  try {
    return (*tool).isTargetPowered();
  } catch (const qx::DeviceException&) {
    return false;
  }
}

void logLine(base::Reporter& log, const std::string& text, bool error) {
  log.onLog("--> " + text, error ? base::LogColour::Error : base::LogColour::Normal);
}

}  // namespace

bool togglePower(const ToolFinder& finder, const std::shared_ptr<qx::TouchDebug>& session, base::Reporter& log) {
  const bool switchOn = !readPowered(finder, session);
  OpenTool tool(finder, session);
  if (!tool.found()) {
    logLine(log, base::text(104), true);
  } else if (tool.refused()) {
    logLine(log, tool.refusal(), true);
  } else if (!tool.opened()) {
    logLine(log, base::text("usb.open_failed"), true);
  } else {
    bool done = false;
    try {
      done = (*tool).setTargetPower(switchOn);
    } catch (const qx::DeviceException&) {
      done = false;
    }
    const char* name = switchOn ? (done ? "usb.powered_on" : "usb.power_on_failed")
                                : (done ? "usb.powered_off" : "usb.power_off_failed");
    logLine(log, base::text(name), !done);
  }
  return !switchOn;
}

}  // namespace touch
