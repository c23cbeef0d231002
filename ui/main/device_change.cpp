#include "ui/main/device_change.hpp"

#include <algorithm>

#include "base/text_ids.hpp"
#include "device/usb_ids.hpp"
#include "ui/main/mode_plan.hpp"

namespace mainwin {

DeviceReaction ReactToDevice(const qx::DeviceEvent& e) {
  DeviceReaction r;
  const bool arrival = e.action == qx::DeviceAction::Arrival;
  if (e.bus == qx::DeviceBus::Hid) {
    if (e.vendor != qx::kVendorId) return r;
    if (e.product == qx::kWriterProductId) {
      r.note = LogNote{arrival ? 241 : 242, false};
      r.writerPresent = arrival;
      r.stopTouchSerialTimer = !arrival;
    } else if (e.product == qx::kProductId) {
      if (arrival) {
        r.addUsbPort = true;
        r.lookUpAgain = true;
      } else {
        r.note = LogNote{base::txt::kUsbDisconnected, true};
        r.modeCleanup = true;
      }
    }
    return r;
  }
  // Whole USB devices of other vendors: serial adapters, as far as the window is concerned.
  if (e.vendor == qx::kVendorId) return r;
  if (arrival) {
    r.note = LogNote{base::txt::kUsbSerialPlugged, false};
  } else {
    r.note = LogNote{base::txt::kUsbSerialUnplugged, true};
    r.modeCleanup = true;
  }
  return r;
}

CleanupPlan PlanRemovalCleanup(int mode, bool ispRunning, bool touchLinkRunning) {
  CleanupPlan p;
  p.stopIsp = mode == kModeIsp && ispRunning;
  p.stopTouchLink = mode == kModeTouch && touchLinkRunning;
  return p;
}

LookupOutcome LookUpDevice(int mode, const DeviceLookups& lookups) {
  LookupOutcome o;
  if (mode == kModeIsp) {
    o.found = !programmersOf(lookups).empty();
  } else if (mode == kModeWriter) {
    o.writer = writerOf(lookups);
    o.found = o.writer.has_value();
  } else {
    return o;
  }
  if (o.found) {
    o.note = LogNote{base::txt::kUsbConnected, false};
  } else if (mode == kModeWriter) {
    o.note = LogNote{base::txt::kToolNotDetected, true};
  }
  return o;
}

void AddUsbPort(std::vector<std::string>& ports) {
  // Arrival and the lookup after it both add the entry; the list shows it once.
  if (std::find(ports.begin(), ports.end(), kUsbPortName) == ports.end()) ports.emplace_back(kUsbPortName);
}

}  // namespace mainwin
