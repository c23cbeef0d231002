// The Power button: the target's power switched to the opposite of what the programmer reports.
#include "base/texts.hpp"
#include "base/trace.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/session.hpp"

namespace usbjobs {
namespace {

// The state before the switch; nothing when the programmer could not be asked.
std::optional<bool> readPower(Session& s) {
  if (!s.takeAndOpen(base::text("usb.open_failed"))) return std::nullopt;
  const auto powered = s.guarded([&s] { return s.tool().isTargetPowered(); });
  if (powered) {
    if (const auto volts = s.guarded([&s] { return s.tool().targetVoltage(); })) {
      base::trace("%.2fV\n", static_cast<double>(*volts));
    }
  }
  return powered;
}

// The programmer is closed after each half, as each press of the button takes it afresh.
void release(Session& s) {
  if (s.hasTool()) s.tool().link()->close();
}

}  // namespace

base::Outcome runPowerToggle(UsbJobSink& sink) {
  Session s(sink);
  const std::optional<bool> before = readPower(s);
  release(s);
  if (!before) return base::Outcome::Failed;

  Session again(sink);
  bool switched = false;
  if (again.takeAndOpen(base::text("usb.open_failed"))) {
    switched = again.attempt([&] { return again.tool().setTargetPower(!*before); });
    if (*before) {
      switched ? again.info(base::text("usb.powered_off")) : again.error(base::text("usb.power_off_failed"));
    } else {
      switched ? again.info(base::text("usb.powered_on")) : again.error(base::text("usb.power_on_failed"));
    }
    // The button shows what the target is now, also when the switch did not happen.
    again.showPower(switched ? !*before : *before);
  }
  release(again);
  return switched ? base::Outcome::Success : base::Outcome::Failed;
}

}  // namespace usbjobs
