// Devices in the main window: the lookup of the mode's device and the plug and unplug table.
#include "base/texts.hpp"
#include "ui/main/isp_panel.hpp"
#include "ui/main/main_window.hpp"
#include "device/hotplug.hpp"

void CQX58KT_UPGRADEDlg::LookUpProgrammer() {
  const mainwin::LookupOutcome outcome = mainwin::LookUpDevice(currentMode_, services_.lookups);
  if (outcome.note) LogText(outcome.note->text, outcome.note->error);
  if (outcome.found) mainwin::AddUsbPort(portNames_);
  toolPresent_ = outcome.found;
  if (outcome.writer) writer_ = outcome.writer;
  // A programmer that just arrived is offered at once, not only when the port box next opens.
  if (outcome.found && ispPanel_ != nullptr) ispPanel_->rebuildPortList();
}

void CQX58KT_UPGRADEDlg::HandleDeviceEvent(const qx::DeviceEvent& event) {
  const mainwin::DeviceReaction r = mainwin::ReactToDevice(event);
  if (r.note) LogText(r.note->text, r.note->error);
  if (r.writerPresent) writerPresent_ = *r.writerPresent;
  if (r.stopTouchSerialTimer && mainwin::isRunning(services_.ports.touchLinkRunning) &&
      services_.ports.stopTouchLink) {
    services_.ports.stopTouchLink();
  }
  if (r.addUsbPort) mainwin::AddUsbPort(portNames_);
  if (r.lookUpAgain) LookUpProgrammer();
  if (r.modeCleanup) cleanUpAfterRemoval();
}

void CQX58KT_UPGRADEDlg::cleanUpAfterRemoval() {
  const mainwin::CleanupPlan plan = mainwin::PlanRemovalCleanup(
      currentMode_, mainwin::isRunning(services_.ports.ispRunning),
      mainwin::isRunning(services_.ports.touchLinkRunning));
  if (plan.stopIsp) {
    LogText(base::txt::kStopUpgrading, true);
    if (services_.ports.stopIsp) services_.ports.stopIsp();
  }
  if (plan.stopTouchLink && services_.ports.stopTouchLink) services_.ports.stopTouchLink();
}

void CQX58KT_UPGRADEDlg::readDeviceEvents() {
  for (const qx::DeviceEvent& e : monitor_->readEvents()) HandleDeviceEvent(e);
}
