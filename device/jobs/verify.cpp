// The verification worker: the loaded data against the target, without padding or run limits.
#include <algorithm>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/commands.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/production_locks.hpp"
#include "device/jobs/session.hpp"

namespace usbjobs {

namespace cmd = qx::cmd;
namespace {

base::Outcome verifyTarget(Session& s, const UsbJob& job, const std::atomic<bool>& running) {
  if (!s.takeAndIdentify(base::text("usb.open_failed_verify"))) return base::Outcome::Failed;
  if (job.model == nullptr) {
    s.error(base::text("firmware.select_model"));
    return base::Outcome::Failed;
  }
  // A file locked to one programmer is not deciphered into another, not even to compare; the run
  // counter is the programming runs' alone.
  if (job.productionFile && !checkWriterId(s, job.production)) return base::Outcome::Failed;
  qx::QUBRIXTool& tool = s.tool();
  const auto failed = [&s] {
    s.error(base::text(base::txt::kVerificationInconsistent));
    return base::Outcome::Failed;
  };
  if (!s.attempt([&] {
        return tool.screenClear() && tool.screenMode(cmd::kScreenVerificationOnly) &&
               tool.screenState(cmd::kShowVerifying) && tool.screenChecksum(job.totalChecksum);
      })) {
    return failed();
  }
  if (!s.connectTarget(*job.model)) return base::Outcome::Failed;
  s.reportConnected();

  s.info(base::text(base::txt::kVerifying));
  s.step("verify");
  bool ok = s.attempt([&] { return tool.screenState(cmd::kShowVerifying) && tool.screenProgress(0); });
  const std::uint64_t length = std::min<std::uint64_t>(job.dataLength, job.bytes.size());
  s.sink().onPhase(Phase::Verifying, length);
  s.sink().onProgress(0);
  const std::int64_t start = nowMs();
  const EraseUnit unit = chooseEraseUnit(tool);
  ok = ok && s.unitLoop(length, unit.size, running, [&](std::uint32_t at, std::uint32_t n) {
    return tool.verifyRange(at, std::span(job.bytes).subspan(at, n));
  });
  const double seconds = secondsSince(start);

  base::Outcome outcome = base::Outcome::Cancelled;
  if (!running.load()) {
    s.attempt([&] { return tool.screenProgress(0) && tool.screenState(cmd::kShowIdle); });
    s.sink().onProgress(0);
    s.info(base::text("usb.verify_cancelled"));
  } else {
    s.attempt([&] { return tool.screenState(ok ? cmd::kShowVerified : cmd::kShowVerifyFailed); });
    if (ok) {
      s.info(base::text(base::txt::kVerificationConsistent));
    } else {
      s.error(base::text(base::txt::kVerificationInconsistent));
    }
    s.info(base::format(base::text(base::txt::kTimeConsumption).c_str(), seconds));
    outcome = ok ? base::Outcome::Success : base::Outcome::Failed;
  }
  s.attempt([&] { return tool.disconnect(); });
  return outcome;
}

}  // namespace

base::Outcome runVerify(const UsbJob& job, UsbJobSink& sink, const std::atomic<bool>& running) {
  Session s(sink, job.programmerSerial);
  if (job.dataLength == 0 || job.bytes.empty()) {
    s.error(base::text("usb.load_firmware"));
    return base::Outcome::Failed;
  }
  sink.onControlsEnabled(false);
  base::Outcome outcome = base::Outcome::Failed;
  try {
    outcome = verifyTarget(s, job, running);
  } catch (const std::exception& e) {
    s.error(e.what());
    s.error(base::text(base::txt::kVerificationInconsistent));
  }
  s.finish();
  return outcome;
}

}  // namespace usbjobs
