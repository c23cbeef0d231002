// The 32-bit family type: a power cycle through the QUBRIX Tool at 1200 baud, then long frames at
// 115200 baud to the chip's bootloader (states 200 to 204). The first 4 KiB, the boot area, are
// never written.
#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "isp/engine/engine.hpp"

namespace isp::engine {
namespace {

constexpr std::uint32_t kAppStart = 0x001000;
constexpr std::uint32_t kFirstAppBlock = kAppStart / kLongBlockSize;
constexpr std::uint8_t kSyncPowerCycleFailed = 2;

}  // namespace

void IspEngine::onPresence(Bytes reply) {
  if (!presenceIsDownloader(reply)) {
    logText(base::txt::kTargetPowerNotOff, base::LogColour::Error);
    end(End::Abort, base::Outcome::Failed);
    return;
  }
  logText(base::txt::kDownloaderConnected);
  proceedAfterPowerCycle();
}

void IspEngine::proceedAfterPowerCycle() {
  stopTimers();
  powerCycleFirst_ = false;
  pendingBaudCode_ = kLongBaudCode;
  baudStep_ = 1;
  expect(ReplyKind::None);
  timers_.start(kTimerBaudReopen, kBaudStepPeriod);
}

void IspEngine::onLongSync(std::uint8_t status) {
  if (status == 0) {
    logText(base::txt::kConnectedToTarget);
    timers_.stop(kTimerSync);
    if (!send(longIdentifyFrame())) return;
    state_ = kIdentify;
    expect(ReplyKind::LongIdentification);
    timers_.start(kTimerLong, kLongPeriod);
    return;
  }
  if (status == kSyncPowerCycleFailed) {
    logName("isp.power_cycle_failed");
    end(End::Abort, base::Outcome::Failed);
    return;
  }
  // 1: the target does not answer. Synchronisation stops and the user cancels.
  logText(base::txt::kConnectFailed);
  timers_.stop(kTimerSync);
}

void IspEngine::onIdentification(Bytes reply) {
  const LongIdentification id = parseLongIdentification(reply);
  const IspJob& job = *job_;
  std::optional<std::uint16_t> found;
  if (job.typeIndexOfModel) {
    found = job.typeIndexOfModel(id.modelId);
  } else if (id.modelId == job.modelId) {
    found = job.mcuTypeIndex;
  }
  timers_.stop(kTimerLong);
  if (!found || *found != job.mcuTypeIndex) {
    log(base::format(base::text("isp.model_mismatch").c_str(), id.name.c_str()));
    end(End::Abort, base::Outcome::Failed);
    return;
  }
  logName("isp.model_match");
  if (verifyOnly_) {
    verifyRange();
    return;
  }
  if (!send(longEraseApplicationFrame())) return;
  state_ = kEraseApplication;
  expect(ReplyKind::LongAck);
}

void IspEngine::onEraseApplication(std::uint8_t status) {
  if (status != 0) {
    logText(base::txt::kEraseFailed);
    end(End::Abort, base::Outcome::Failed);
    return;
  }
  logText(base::txt::kErasedSuccessfully);
  state_ = kWriteLongBlocks;
  blockIndex_ = kFirstAppBlock;
  blockCount_ = job_->pageCount;
  setRange(0, static_cast<int>(blockCount_ > kFirstAppBlock ? blockCount_ - kFirstAppBlock : 0));
  setProgress(0);
  expect(ReplyKind::LongAck);
  if (blockIndex_ >= blockCount_) {
    verifyRange();
    return;
  }
  sendLongBlock();
}

void IspEngine::onLongBlockAck(std::uint8_t status) {
  if (status != 0) {
    // Timer 10 sends the block again.
    logText(base::txt::kRewriting, base::LogColour::Error);
    return;
  }
  stepProgress();
  if (++blockIndex_ < blockCount_) {
    sendLongBlock();
    return;
  }
  timers_.stop(kTimerLong);
  logText(base::txt::kProgrammingCompleted);
  verifyRange();
}

void IspEngine::verifyRange() {
  if (!send(longVerifyRangeFrame(kAppStart, static_cast<std::uint32_t>(job_->programLength)))) return;
  logText(base::txt::kStartVerification);
  state_ = kVerifyRange;
  expect(ReplyKind::LongChecksum);
}

void IspEngine::onLongChecksum(Bytes reply) {
  checksumMatched_ = parseLongChecksum(reply).sum == job_->appChecksum;
  if (checksumMatched_) {
    logText(base::txt::kVerificationSuccessful);
  } else {
    logText(base::txt::kVerifyFailed, base::LogColour::Error);
  }
  if (!send(longReleaseFrame())) return;
  state_ = kRelease;
  expect(ReplyKind::LongAck);
}

void IspEngine::onRelease(std::uint8_t status) {
  if (status != 0) {
    logText(base::txt::kRewriting, base::LogColour::Error);
    send(longReleaseFrame());
    return;
  }
  // Only a matching checksum is reported as a success here.
  if (checksumMatched_) {
    logText(base::txt::kVerificationSuccessful);
    logTime(base::txt::kTimeConsumption);
  }
  if (!send(longReleaseFrame())) return;
  end(End::Finish, checksumMatched_ ? base::Outcome::Success : base::Outcome::Failed);
}

void IspEngine::sendLongBlock() {
  const std::size_t offset = std::size_t{blockIndex_} * kLongBlockSize;
  const Bytes data(job_->image.data() + offset, kLongBlockSize);
  if (!send(longWriteBlockFrame(static_cast<std::uint32_t>(offset), data))) return;
  // Restarted with every block, so that a resend only follows a block left unanswered for 1 s.
  timers_.start(kTimerLong, kLongBlockResend);
}

}  // namespace isp::engine
