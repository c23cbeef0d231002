#include "isp/engine/engine.hpp"

#include <algorithm>

#include "base/strformat.hpp"
#include "base/texts.hpp"

namespace isp::engine {
namespace {

constexpr const char* kLinePrefix = "--> ";

// What the frame builders could not carry: a job like this never starts instead of throwing.
bool fitsFrames(const IspJob& job) {
  const std::uint16_t family = firmware::FamilyTypeOf(job.mcuTypeIndex);
  if (family == firmware::kFamily32Bit) {
    return job.pageCount <= 0xFFFFFF / kLongBlockSize && job.programLength <= 0xFFFFFF;
  }
  if (job.pageCount > 0xFFFF) return false;
  if (!wideFields(family) && (job.dataLength > 0xFFFF || std::uint64_t{job.pageCount} * kShortBlockSize > 0xFFFFFF)) {
    return false;
  }
  return job.dataLength <= 0xFFFFFFFF;
}

}  // namespace

IspEngine::IspEngine(IspLink& link, IspSink& sink, base::TimerService& timers)
    : link_(link), sink_(sink), timers_(timers) {}

bool IspEngine::StartProgram(IspJob job) { return start(std::move(job), false); }

bool IspEngine::StartVerify(IspJob job) { return start(std::move(job), true); }

bool IspEngine::start(IspJob job, bool verify) {
  const std::string& tip = base::text(base::txt::kTip);
  if (running()) {
    sink_.onMessage(tip, base::text("isp.busy"), base::MessageIcon::Warning);
    return false;
  }
  if (!link_.configured()) {
    sink_.onMessage(tip, base::text(base::txt::kSetSerialPortFirst), base::MessageIcon::Warning);
    return false;
  }
  if (!verify && job.pageCount == 0) {
    sink_.onMessage(tip, base::text(base::txt::kSelectFileFirst), base::MessageIcon::Warning);
    return false;
  }
  if (!fitsFrames(job)) {
    sink_.onMessage(tip, base::text("isp.job_too_large"), base::MessageIcon::Warning);
    return false;
  }
  if (link_.isOpen()) {
    link_.close();
    timers_.wait(kCloseSettle);
  }
  timers_.wait(kReopenWait);
  if (!link_.open(kStartBaud)) {
    sink_.onMessage(tip, base::text(base::txt::kSerialOpenFailed), base::MessageIcon::Warning);
    return false;
  }
  const bool longFrames = firmware::FamilyTypeOf(job.mcuTypeIndex) == firmware::kFamily32Bit;
  const std::size_t block = longFrames ? kLongBlockSize : kShortBlockSize;
  const std::size_t needed = std::size_t{job.pageCount} * block;
  if (job.image.size() < needed) job.image.resize(needed, 0xFF);
  job_ = std::move(job);
  dialect_ = dialectFor(job_->mcuTypeIndex);
  powerCycleFirst_ = longFamily();

  sink_.onControlsEnabled(false);
  startTick_ = timers_.now();
  setRange(0, 100);
  setProgress(0);
  active_ = true;
  verifyOnly_ = verify;
  // The flag comes from this run's synchronisation answer only: one left from an earlier run would
  // send a bootloader run down the downloader's paths.
  downloader_ = false;
  query_ = VersionQuery::None;
  expectChecksum_ = false;
  rewritingPage_ = false;
  checksumMatched_ = false;
  baudStep_ = 0;
  blockIndex_ = 0;
  blockCount_ = 0;

  state_ = kSync;
  if (powerCycleFirst_) {
    powerCycleTries_ = 0;
    expect(ReplyKind::Presence, true);
    timers_.start(kTimerLong, kLongPeriod);
  } else {
    expect(ReplyKind::SyncAnswer, true);
    timers_.start(kTimerSync, kSyncPeriod);
  }
  logText(base::txt::kSynchronising);
  return true;
}

void IspEngine::stopToolAndTarget() {
  if (downloader_ && (state_ == kToolReports || state_ == kToolCheck)) {
    if (send(abortFrame())) timers_.wait(kReopenWait);
  }
  if (running() && longFamily()) send(longReleaseFrame());
}

void IspEngine::Cancel() {
  if (running()) {
    stopToolAndTarget();
    if (running()) {
      logText(base::txt::kCancelledByUser, base::LogColour::Error);
      if (!longFamily()) send(endFrame());
    }
    checkByTool_ = false;
    if (running()) end(End::Cancel, base::Outcome::Cancelled);
  }
  job_.reset();
  sink_.onImageReleased();
}

void IspEngine::AbortRun() {
  if (running()) end(End::Abort, base::Outcome::Failed);
}

void IspEngine::GiveUp() {
  if (!running()) return;
  stopToolAndTarget();
  if (running() && !longFamily()) send(endFrame());
  AbortRun();
}

void IspEngine::ReleasePort() {
  if (!running() && !active_) return;
  const bool wasRunning = running();
  state_ = kIdle;
  active_ = false;
  query_ = VersionQuery::None;
  stopTimers();
  link_.close();
  if (wasRunning) {
    sink_.onControlsEnabled(true);
    sink_.onFinished(base::Outcome::Failed);
  }
}

void IspEngine::OnPortError() {
  if (running()) endOnPortError();
}

bool IspEngine::QueryVersion(VersionQuery asker) {
  if (running() || asker == VersionQuery::None) return false;
  if (!link_.configured()) {
    sink_.onMessage(base::text(base::txt::kTip), base::text(base::txt::kSetSerialPortFirst),
                    base::MessageIcon::Warning);
    return false;
  }
  if (link_.isOpen()) {
    link_.close();
    timers_.wait(kCloseSettle);
  }
  timers_.wait(kReopenWait);
  if (!link_.open(kStartBaud)) {
    sink_.onMessage(base::text(base::txt::kTip), base::text(base::txt::kSerialOpenFailed), base::MessageIcon::Warning);
    return false;
  }
  query_ = asker;
  active_ = true;
  queryRx_.expect(ReplyKind::ProgrammerInfo);
  if (link_.hasError() || !link_.send(queryVersionFrame())) {
    query_ = VersionQuery::None;
    active_ = false;
    link_.close();
    return false;
  }
  return true;
}

void IspEngine::OnByte(std::uint8_t byte) {
  if (!active_) return;
  if (query_ != VersionQuery::None) {
    onQueryByte(byte);
    return;
  }
  if (!running() || rx_.push(byte) != RxResult::Complete) return;
  dispatch(rx_.bytes());
}

void IspEngine::onQueryByte(std::uint8_t byte) {
  if (queryRx_.push(byte) != RxResult::Complete) return;
  const ProgrammerInfo info = parseProgrammerInfo(queryRx_.bytes());
  if (info.version) version_ = info.version;
  if (info.serial) serial_ = info.serial;
  const VersionQuery asker = query_;
  query_ = VersionQuery::None;
  if (!running()) {
    active_ = false;
    link_.close();
  }
  sink_.onProgrammerInfo(info, asker);
}

void IspEngine::dispatch(Bytes reply) {
  switch (state_) {
    case kSync:
      if (!longFamily()) {
        onSyncAnswer(reply);
      } else if (powerCycleFirst_) {
        onPresence(reply);
      } else {
        onLongSync(longAckStatus(reply));
      }
      break;
    case kSetBaud: onBaudAnswer(reply); break;
    case kLineTest: onLineTest(reply); break;
    case kProgramStart: onProgramStartAck(ackStatus(reply)); break;
    case kEraseFlash: onEraseAck(ackStatus(reply)); break;
    case kWriteBlocks: onBlockAck(ackStatus(reply)); break;
    case kChecksum: onStateSeven(reply); break;
    case kEraseXdata:
    case kLoaderBlocks: onLoaderAck(ackStatus(reply)); break;
    case kToolReports: onToolReport(reply); break;
    case kToolCheck: onToolVerifyReport(reply); break;
    case kIdentify: onIdentification(reply); break;
    case kEraseApplication: onEraseApplication(longAckStatus(reply)); break;
    case kWriteLongBlocks: onLongBlockAck(longAckStatus(reply)); break;
    case kVerifyRange: onLongChecksum(reply); break;
    case kRelease: onRelease(longAckStatus(reply)); break;
    default: break;
  }
}

void IspEngine::OnTimer(int id) {
  switch (id) {
    case kTimerSync:
      if (state_ == kSync && !powerCycleFirst_ && baudStep_ == 0) {
        send(syncBytes(dialect_));
      } else {
        timers_.stop(kTimerSync);
      }
      break;
    case kTimerBaudReopen:
      if (baudStep_ == 1) {
        reopenAtNewRate();
      } else {
        timers_.stop(kTimerBaudReopen);
      }
      break;
    case kTimerBaudConfirm:
      // Timers 6 and 7 start together; 7 only acts once 6 has reopened the port.
      if (baudStep_ == 2) {
        confirmBaud();
      } else if (baudStep_ == 0) {
        timers_.stop(kTimerBaudConfirm);
      }
      break;
    case kTimerLong:
      if (state_ == kSync && powerCycleFirst_) {
        if (!send(powerCycleTargetFrame())) break;
        if (++powerCycleTries_ >= kPowerCycleTries) {
          logText(base::txt::kDownloaderConnected);
          proceedAfterPowerCycle();
        }
      } else if (state_ == kIdentify) {
        send(longIdentifyFrame());
      } else if (state_ == kWriteLongBlocks && blockIndex_ < blockCount_) {
        sendLongBlock();
      } else {
        timers_.stop(kTimerLong);
      }
      break;
    default: break;
  }
}

bool IspEngine::send(const Frame& frame) {
  if (!running()) return false;
  if (link_.hasError() || !link_.send(frame)) {
    endOnPortError();
    return false;
  }
  return true;
}

void IspEngine::expect(ReplyKind kind, bool synchronising) { rx_.expect(kind, synchronising); }

void IspEngine::log(const std::string& text, base::LogColour colour) {
  const bool prefixed = text.rfind(kLinePrefix, 0) == 0;
  sink_.onLog(prefixed ? text : kLinePrefix + text, colour);
}

void IspEngine::logText(int id, base::LogColour colour) { log(base::text(id), colour); }

void IspEngine::logName(const char* name, base::LogColour colour) { log(base::text(name), colour); }

void IspEngine::logTime(int id) { log(base::format(base::text(id).c_str(), elapsedSeconds())); }

double IspEngine::elapsedSeconds() const {
  return static_cast<double>((timers_.now() - startTick_).count()) / 1000.0;
}

void IspEngine::setRange(int low, int high) {
  progressLow_ = low;
  progressHigh_ = std::max(low, high);
  sink_.onProgressRange(progressLow_, progressHigh_);
}

void IspEngine::setProgress(int position) {
  progress_ = std::clamp(position, progressLow_, progressHigh_);
  sink_.onProgress(progress_);
}

void IspEngine::stepProgress() { setProgress(progress_ + 1); }

void IspEngine::stopTimers() {
  timers_.stop(kTimerSync);
  timers_.stop(kTimerBaudReopen);
  timers_.stop(kTimerBaudConfirm);
  timers_.stop(kTimerLong);
}

void IspEngine::end(End how, base::Outcome outcome) {
  const int endedIn = state_;
  state_ = kIdle;
  active_ = false;
  baudStep_ = 0;
  // The bar ends full whatever range the run had set.
  setRange(0, 100);
  setProgress(100);
  stopTimers();
  link_.close();
  sink_.onControlsEnabled(true);
  if (endedIn == kWriteBlocks || endedIn == kChecksum || endedIn == kRelease) checkByTool_ = false;
  if (how == End::Abort) logText(base::txt::kStopUpgrading, base::LogColour::Error);
  sink_.onFinished(outcome);
}

void IspEngine::endOnPortError() { end(End::Abort, base::Outcome::Failed); }

std::uint16_t IspEngine::familyType() const { return job_ ? firmware::FamilyTypeOf(job_->mcuTypeIndex) : 0; }

bool IspEngine::t4nFamily() const {
  const std::uint16_t f = familyType();
  return f >= firmware::kFamilyT4N0 && f <= firmware::kFamilyT4N3;
}

std::uint8_t IspEngine::checkedKib() const {
  return static_cast<std::uint8_t>(std::min<std::uint64_t>(job_->maxFileLength / 1024, 0xFF));
}

}  // namespace isp::engine
