// The program worker: from the loaded image to a programmed and verified target.
#include <algorithm>
#include <string>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "base/trace.hpp"
#include "device/commands.hpp"
#include "device/jobs/jobs.hpp"
#include "device/jobs/production_locks.hpp"
#include "device/jobs/session.hpp"
#include "firmware/image.hpp"

namespace usbjobs {

namespace cmd = qx::cmd;
namespace {

// The tail some families need, then whole units of the copy; never past the chip's flash, which
// could not take the bytes.
void padToUnits(std::vector<std::uint8_t>& bytes, std::uint64_t& programLength, const firmware::MCU& model,
                std::uint32_t unit) {
  if (firmware::needsTailPadding(model) && model.flashSize >= programLength + model.tailPadding) {
    bytes.insert(bytes.end(), model.tailPadding, 0xFF);
    programLength += model.tailPadding;
  }
  const std::size_t r = bytes.size() % unit;
  if (r != 0) {
    bytes.insert(bytes.end(), unit - r, 0xFF);
    programLength += unit - r;
  }
  if (model.flashSize != 0) programLength = std::min<std::uint64_t>(programLength, model.flashSize);
  if (bytes.size() < programLength) bytes.resize(programLength, 0xFF);
}

bool erasesUpFront(const UsbJob& job) {
  const unsigned nibble = (job.model->model >> 4) & 0xF;
  const std::uint16_t family = firmware::FamilyTypeOf(job.mcuTypeIndex);
  return nibble == 0xA || nibble == 0xC || family == firmware::kFamilyK7A0 || family == firmware::kFamilyK7A1;
}

class ProgramRun {
 public:
  ProgramRun(const UsbJob& job, UsbJobSink& sink, const std::atomic<bool>& running)
      : job_(job), s_(sink, job.programmerSerial), running_(running) {}

  base::Outcome run() {
    if (job_.programLength <= 0 || job_.bytes.empty()) {
      s_.error(base::text("usb.load_firmware"));
      return base::Outcome::Failed;
    }
    s_.sink().onControlsEnabled(false);
    base::Outcome outcome = base::Outcome::Failed;
    try {
      outcome = program();
    } catch (const std::exception& e) {
      // Only the sink itself or the memory can get here: every command is guarded.
      s_.error(e.what());
      s_.error(base::text("usb.program_failed"));
    }
    s_.finish();
    return outcome;
  }

 private:
  base::Outcome program() {
    if (!s_.takeAndIdentify(base::text("usb.open_failed"))) return base::Outcome::Failed;
    if (job_.model == nullptr) {
      s_.error(base::text("firmware.select_model"));
      return base::Outcome::Failed;
    }
    s_.step("limit");
    if (job_.productionFile && !checkProductionLimits(s_, job_)) return base::Outcome::Failed;
    qx::QUBRIXTool& tool = s_.tool();
    const bool screenReady = s_.attempt([&] {
      return tool.screenClear() && tool.screenChecksum(job_.totalChecksum) &&
             tool.screenState(cmd::kShowSessionBegins) && tool.screenMode(cmd::kScreenOnlineProgramming);
    });
    if (!screenReady) return failed(false);
    if (!s_.connectTarget(*job_.model)) return base::Outcome::Failed;
    s_.reportConnected();

    const bool ok = programAndVerify();
    const std::int64_t end = nowMs();
    const bool closed = s_.attempt([&] { return tool.writeEvent(cmd::kEventEnd); });
    const bool disconnected = s_.attempt([&] { return tool.disconnect(); });
    if (!running_.load()) {
      s_.attempt([&] { return tool.screenProgress(0) && tool.screenState(cmd::kShowIdle); });
      s_.sink().onProgress(0);
      s_.info(base::text("usb.program_cancelled"));
      return base::Outcome::Cancelled;
    }
    if (!ok || !closed || !disconnected) return failed(true);
    if (job_.production.write_limit_num_enable && job_.productionFile) {
      if (!s_.guarded([&] { return tool.incrementLimit(job_.production.encrypt_file_id); }).value_or(false)) {
        base::trace("limit inc failed.\n");
      }
    }
    s_.info(base::text("usb.program_ok"));
    s_.attempt([&] { return tool.screenState(cmd::kShowProgrammed); });
    if (job_.fromEncryptedFile) s_.info(base::text(base::txt::kNoEncryptedIdOnline));
    s_.info(base::format(base::text(base::txt::kProgrammingCompletedTime).c_str(),
                         static_cast<double>(end - start_) / 1000.0));
    return base::Outcome::Success;
  }

  bool programAndVerify() {
    qx::QUBRIXTool& tool = s_.tool();
    const EraseUnit unit = chooseEraseUnit(tool);
    if (!s_.attempt([&] {
          return tool.writeEvent(cmd::kEventBegin) && tool.screenState(cmd::kShowProgramming) && tool.screenProgress(0);
        })) {
      return false;
    }
    s_.sink().onProgress(0);
    base::trace("flash_all_erase_en=%d\n", job_.eraseChip ? 1 : 0);

    std::vector<std::uint8_t> bytes = job_.bytes;
    auto length = static_cast<std::uint64_t>(job_.programLength);
    padToUnits(bytes, length, *job_.model, unit.size);

    bool erased = false;
    s_.step("erase");
    if (job_.eraseChip || erasesUpFront(job_)) {
      s_.info(base::text(base::txt::kErasingProgramArea));
      const auto units =
          static_cast<std::uint16_t>(std::min<std::uint64_t>((length + unit.size - 1) / unit.size, 0xFFFF));
      const bool ok = s_.attempt([&] {
        return job_.eraseChip ? tool.eraseTargetFlash(cmd::kEraseWholeChip, 0, 0)
                              : tool.eraseTargetFlash(unit.mode, 0, units);
      });
      if (!ok) {
        s_.error(base::text("usb.erase_failed"));
        return false;
      }
      erased = true;
    }

    s_.info(base::text(base::txt::kProgramming));
    s_.step("program");
    start_ = nowMs();
    s_.sink().onPhase(Phase::Programming, length);
    const bool written = s_.unitLoop(length, unit.size, running_, [&](std::uint32_t at, std::uint32_t n) {
      if (!erased && !tool.eraseTargetFlash(unit.mode, at, 1)) return false;
      return tool.writeCacheRange(std::span(bytes).subspan(at, n)) &&
             tool.writeTargetFlash(at, static_cast<std::uint16_t>(n));
    });
    if (!written || !running_.load()) return false;

    s_.info(base::text(base::txt::kVerifying));
    s_.step("verify");
    if (!s_.attempt([&] { return tool.screenState(cmd::kShowVerifying) && tool.screenProgress(0); })) return false;
    s_.sink().onPhase(Phase::Verifying, length);
    s_.sink().onProgress(0);
    return s_.unitLoop(length, unit.size, running_, [&](std::uint32_t at, std::uint32_t n) {
      return tool.verifyRange(at, std::span(bytes).subspan(at, n));
    });
  }

  base::Outcome failed(bool tellScreen) {
    if (tellScreen) s_.attempt([&] { return s_.tool().screenState(cmd::kShowProgramFailed); });
    s_.error(base::text("usb.program_failed"));
    return base::Outcome::Failed;
  }

  const UsbJob& job_;
  Session s_;
  const std::atomic<bool>& running_;
  std::int64_t start_ = nowMs();
};

}  // namespace

base::Outcome runProgram(const UsbJob& job, UsbJobSink& sink, const std::atomic<bool>& running) {
  return ProgramRun(job, sink, running).run();
}

}  // namespace usbjobs
