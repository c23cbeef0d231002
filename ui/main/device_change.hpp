#pragma once
// How the window answers a device lookup and a plug or unplug: which text it logs, in which colour,
// and what it changes. Plain data in and out, so the table can be checked without devices.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "device/hotplug.hpp"
#include "ui/main/device_seams.hpp"

namespace mainwin {

inline constexpr const char* kUsbPortName = "USB";

struct LogNote {
  int text = 0;
  bool error = false;
  friend bool operator==(const LogNote&, const LogNote&) = default;
};

struct DeviceReaction {
  std::optional<LogNote> note;
  bool addUsbPort = false;
  bool lookUpAgain = false;
  std::optional<bool> writerPresent;
  bool stopTouchSerialTimer = false;
  bool modeCleanup = false;
};

DeviceReaction ReactToDevice(const qx::DeviceEvent& event);

// After an unplug: what is stopped in the current mode. The ISP state returns to idle always.
struct CleanupPlan {
  bool stopIsp = false;  // logs "Stop upgrading!" first
  bool stopTouchLink = false;
};
CleanupPlan PlanRemovalCleanup(int mode, bool ispRunning, bool touchLinkRunning);

// The lookup of the mode's device: the programmer in mode 0, the Writer in mode 1, none otherwise.
struct LookupOutcome {
  bool found = false;
  std::optional<LogNote> note;
  std::optional<AttachedWriter> writer;
};
LookupOutcome LookUpDevice(int mode, const DeviceLookups& lookups);

// The port list with "USB" once at its end.
void AddUsbPort(std::vector<std::string>& ports);

}  // namespace mainwin
