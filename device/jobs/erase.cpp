// The whole flash erased, for the headless erase verbs.
#include "base/texts.hpp"
#include "device/commands.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/session.hpp"

namespace usbjobs {

namespace cmd = qx::cmd;
namespace {

base::Outcome eraseTarget(Session& s, const firmware::MCU& model, const std::atomic<bool>& running) {
  if (!s.takeAndIdentify(base::text("usb.open_failed"))) return base::Outcome::Failed;
  if (!s.connectTarget(model)) return base::Outcome::Failed;
  s.reportConnected();
  if (!running.load()) {
    s.attempt([&s] { return s.tool().disconnect(); });
    return base::Outcome::Cancelled;
  }
  s.info(base::text(base::txt::kErasingWholeFlash));
  s.step("erase");
  const bool erased = s.attempt([&s] { return s.tool().eraseTargetFlash(cmd::kEraseWholeChip, 0, 0); });
  s.attempt([&s] { return s.tool().disconnect(); });
  if (!erased) {
    s.error(base::text("usb.erase_failed"));
    return base::Outcome::Failed;
  }
  s.info(base::text(base::txt::kErasedSuccessfully));
  return base::Outcome::Success;
}

}  // namespace

base::Outcome runErase(const firmware::MCU& model, UsbJobSink& sink, const std::atomic<bool>& running,
                       const std::string& serial) {
  Session s(sink, serial);
  sink.onControlsEnabled(false);
  base::Outcome outcome = base::Outcome::Failed;
  try {
    outcome = eraseTarget(s, model, running);
  } catch (const std::exception& e) {
    s.error(e.what());
    s.error(base::text("usb.erase_failed"));
  }
  s.finish();
  return outcome;
}

}  // namespace usbjobs
