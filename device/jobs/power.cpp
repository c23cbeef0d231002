// The target's power: the Power button's toggle, and for scripts a switch to a known state and a
// status query. None of them powers the target off at the end, unlike the programming jobs.
#include "base/texts.hpp"
#include "base/trace.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/session.hpp"

namespace usbjobs {
namespace {

// The state before the switch; nothing when the programmer could not be asked.
std::optional<bool> readPower(Session& s) {
  if (!s.takeAndOpen(base::text("usb.open_failed"))) return std::nullopt;
  s.step("power");
  s.facts().firmwareVersion = s.tool().firmwareVersion();
  const auto powered = s.guarded([&s] { return s.tool().isTargetPowered(); });
  if (powered) {
    s.facts().targetPowered = *powered;
    if (const auto volts = s.guarded([&s] { return s.tool().targetVoltage(); })) {
      base::trace("%.2fV\n", static_cast<double>(*volts));
      s.facts().targetVoltage = *volts;
    }
  }
  return powered;
}

// Switches and logs the result; the Power button shows the state the target is in afterwards.
bool switchPower(Session& s, bool on, bool before) {
  s.step("power");
  const bool switched = s.attempt([&] { return s.tool().setTargetPower(on); });
  if (on) {
    switched ? s.info(base::text("usb.powered_on")) : s.error(base::text("usb.power_on_failed"));
  } else {
    switched ? s.info(base::text("usb.powered_off")) : s.error(base::text("usb.power_off_failed"));
  }
  s.facts().targetPowered = switched ? on : before;
  s.showPower(switched ? on : before);
  return switched;
}

// The programmer is closed after each step, as each press of the button takes it afresh.
void release(Session& s) {
  if (s.hasTool()) s.tool().link()->close();
}

}  // namespace

base::Outcome runPowerToggle(UsbJobSink& sink, const std::atomic<bool>& running, const std::string& serial) {
  Session s(sink, serial);
  const std::optional<bool> before = readPower(s);
  release(s);
  if (!before) {
    s.reportFacts();
    return base::Outcome::Failed;
  }
  if (!*before && !running.load()) {
    s.reportFacts();
    return base::Outcome::Cancelled;
  }

  Session again(sink, serial);
  bool switched = false;
  if (again.takeAndOpen(base::text("usb.open_failed"))) switched = switchPower(again, !*before, *before);
  again.facts().firmwareVersion = s.facts().firmwareVersion;
  release(again);
  again.reportFacts();
  return switched ? base::Outcome::Success : base::Outcome::Failed;
}

base::Outcome runPowerSwitch(bool on, UsbJobSink& sink, const std::atomic<bool>& running,
                             const std::string& serial) {
  Session s(sink, serial);
  const std::optional<bool> before = readPower(s);
  if (before && on && !running.load()) {
    release(s);
    s.reportFacts();
    return base::Outcome::Cancelled;
  }
  const bool switched = before && switchPower(s, on, *before);
  release(s);
  s.reportFacts();
  return switched ? base::Outcome::Success : base::Outcome::Failed;
}

base::Outcome runPowerStatus(UsbJobSink& sink, const std::string& serial) {
  Session s(sink, serial);
  const std::optional<bool> powered = readPower(s);
  if (powered) s.info(base::text(*powered ? "usb.powered_on" : "usb.powered_off"));
  release(s);
  s.reportFacts();
  return powered ? base::Outcome::Success : base::Outcome::Failed;
}

}  // namespace usbjobs
