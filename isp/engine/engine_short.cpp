// Short frames (family types 0x000 to 0x500): synchronisation, baud switch, line test, the loader,
// erase, block writes and the checksum comparison.
#include <algorithm>

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "isp/engine/engine.hpp"
#include "isp/loaders/loaders.hpp"

namespace isp::engine {
namespace {

constexpr std::uint32_t kBlocksPerPage = 8;

std::uint32_t loaderBlocks(std::uint16_t family) {
  const std::size_t size = loaders::loaderFor(family).size();
  return static_cast<std::uint32_t>((size + kShortBlockSize - 1) / kShortBlockSize);
}

}  // namespace

void IspEngine::onSyncAnswer(Bytes reply) {
  downloader_ = parseSyncAnswer(reply).downloader();
  logText(downloader_ ? 172 : 113);
  timers_.stop(kTimerSync);
  if (!send(setBaudFrame(downloader_ ? kBaudCodeTool : job_->upgradeBaudCode))) return;
  state_ = kSetBaud;
  startTick_ = timers_.now();
  expect(ReplyKind::BaudAnswer);
}

void IspEngine::onBaudAnswer(Bytes reply) {
  if (baudStep_ != 0) return;
  const BaudAnswer answer = parseBaudAnswer(reply);
  if (!answer.accepted()) {
    end(End::Abort, base::Outcome::Failed);
    return;
  }
  pendingBaudCode_ = answer.code;
  baudStep_ = 1;
  timers_.start(kTimerBaudReopen, kBaudStepPeriod);
  timers_.start(kTimerBaudConfirm, kBaudStepPeriod);
}

void IspEngine::reopenAtNewRate() {
  link_.close();
  timers_.wait(kReopenWait);
  const auto rate = baudForCode(pendingBaudCode_);
  if (!rate || !link_.open(*rate)) {
    endOnPortError();
    return;
  }
  timers_.stop(kTimerBaudReopen);
  if (!longFamily()) {
    baudStep_ = 2;
    return;
  }
  baudStep_ = 0;
  state_ = kSync;
  expect(ReplyKind::LongAck, true);
  logText(base::txt::kSynchronising);
  timers_.start(kTimerSync, kSyncPeriod);
}

void IspEngine::confirmBaud() {
  // The chips' bootloaders need the pauses around the new rate; the QUBRIX Tool does not.
  if (!downloader_) timers_.wait(kBaudSettle);
  if (!send(confirmBaudFrame())) return;
  timers_.stop(kTimerBaudConfirm);
  if (!downloader_) timers_.wait(kBaudSettle);
  state_ = kLineTest;
  baudStep_ = 0;
  expect(ReplyKind::LineTest);
}

void IspEngine::onLineTest(Bytes reply) {
  if (!isLineTestPattern(reply)) {
    logName("isp.line_test_failed", base::LogColour::Error);
    end(End::Abort, base::Outcome::Failed);
    return;
  }
  const IspJob& job = *job_;
  if (downloader_ && checkByTool_) {
    ToolVerify v;
    v.familyType = familyType();
    v.modelId = job.modelId;
    v.totalChecksum = job.totalChecksum;
    v.dataLength = static_cast<std::uint32_t>(job.dataLength);
    v.dataChecksum = job.dataChecksum;
    v.internalName = job.internalName;
    if (!send(toolVerifyFrame(v))) return;
    logText(base::txt::kDetectingTarget);
    state_ = kToolCheck;
    expect(ReplyKind::DownloaderReport);
    return;
  }
  state_ = kProgramStart;
  if (verifyOnly_) {
    logText(base::txt::kVerifying);
    state_ = kEraseFlash;
    if (!send(eraseXdataFrame())) return;
    expect(ReplyKind::Ack);
    return;
  }
  ProgramStart p;
  p.familyType = familyType();
  p.modelId = job.modelId;
  p.calibrateRc = job.calibrateRc;
  p.dataLength = static_cast<std::uint32_t>(job.dataLength);
  p.internalName = job.internalName;
  if (job.productionFile) {
    ProgramLimits l;
    l.writeLimitEnable = job.production.write_limit_num_enable;
    l.writeNumMax = job.production.write_num_max;
    l.writerIdLimitEnable = job.production.writer_ID_limit_enable;
    l.writeIdNum = job.production.write_id_num;
    l.encryptFileId = job.production.encrypt_file_id;
    l.text = job.productionText;
    p.limits = l;
  }
  if (!send(programStartFrame(p))) return;
  if (!downloader_) logName("isp.checking_model");
  expect(ReplyKind::Ack);
}

void IspEngine::onProgramStartAck(std::uint8_t status) {
  if (status != 0) {
    if (status == kStatusLimitReached) {
      logText(base::txt::kLimitReachedIsp, base::LogColour::Error);
    } else if (status == kStatusWrongToolId) {
      logText(base::txt::kToolIdMismatchIsp, base::LogColour::Error);
    } else if (!downloader_) {
      logText(base::txt::kModelMismatchReselect, base::LogColour::Error);
    }
    end(End::Abort, base::Outcome::Failed);
    return;
  }
  const std::uint16_t family = familyType();
  if (family == firmware::kFamilyK7A0) {
    // The loader follows the acknowledgement of the XDATA erase, so that one frame is in flight.
    state_ = kEraseXdata;
    if (!send(eraseXdataFrame())) return;
    expect(ReplyKind::Ack);
  } else if (family == firmware::kFamilyK7A1 || downloader_) {
    eraseFlash();
  } else {
    startLoader(kEraseXdata);
  }
}

void IspEngine::startLoader(State state) {
  state_ = state;
  blockIndex_ = 0;
  blockCount_ = loaderBlocks(familyType());
  expect(ReplyKind::Ack);
  sendLoaderBlock();
}

void IspEngine::onLoaderAck(std::uint8_t status) {
  if (state_ == kEraseXdata) {
    if (status != 0) {
      logName("isp.xdata_erase_failed", base::LogColour::Error);
      end(End::Abort, base::Outcome::Failed);
      return;
    }
    startLoader(kLoaderBlocks);
    return;
  }
  if (status != 0) {
    // The line says "Rewriting...", so the block is written again.
    logText(base::txt::kRewriting, base::LogColour::Error);
    sendLoaderBlock();
    return;
  }
  stepProgress();
  if (++blockIndex_ < blockCount_) {
    sendLoaderBlock();
    return;
  }
  if (t4nFamily()) logName("isp.erasing_flash");
  eraseFlash();
}

void IspEngine::eraseFlash() {
  state_ = kEraseFlash;
  if (!send(eraseFlashFrame(job_->eraseChip, static_cast<std::uint16_t>(job_->pageCount)))) return;
  if (!downloader_) logName("isp.erasing_target");
  expect(ReplyKind::Ack);
}

void IspEngine::onEraseAck(std::uint8_t status) {
  if (verifyOnly_) {
    if (status != 0) {
      logName("isp.xdata_erase_failed", base::LogColour::Error);
      end(End::Abort, base::Outcome::Failed);
      return;
    }
    startLoader(kWriteBlocks);
    return;
  }
  if (status != 0) {
    if (status == kStatusLimitReached) {
      logText(base::txt::kLimitReachedIsp, base::LogColour::Error);
    } else if (status == kStatusWrongToolId) {
      logText(base::txt::kToolIdMismatchIsp, base::LogColour::Error);
    } else {
      logName("isp.flash_erase_failed", base::LogColour::Error);
    }
    end(End::Abort, base::Outcome::Failed);
    return;
  }
  state_ = kWriteBlocks;
  setRange(0, static_cast<int>(job_->pageCount));
  setProgress(0);
  blockIndex_ = 0;
  blockCount_ = job_->pageCount;
  logText(downloader_ ? 186 : 112);
  expect(ReplyKind::Ack);
  sendImageBlock();
}

void IspEngine::onBlockAck(std::uint8_t status) {
  if (verifyOnly_) {
    if (status != 0) {
      logText(base::txt::kRewriting, base::LogColour::Error);
      sendLoaderBlock();
      return;
    }
    stepProgress();
    if (++blockIndex_ < blockCount_) {
      sendLoaderBlock();
      return;
    }
    afterLoaderForCheck();
    return;
  }
  if (rewritingPage_) {
    rewritingPage_ = false;
    if (status != 0) {
      logName("isp.flash_erase_failed", base::LogColour::Error);
      end(End::Abort, base::Outcome::Failed);
      return;
    }
    setProgress(static_cast<int>(blockIndex_));
    sendImageBlock();
    return;
  }
  if (status != 0) {
    // The page is erased again and written from its first block; the erase's acknowledgement
    // comes first.
    logText(base::txt::kRewriting, base::LogColour::Error);
    const std::uint32_t page = blockIndex_ / kBlocksPerPage;
    if (!send(erasePageFrame(kAreaFlash, page))) return;
    logName("isp.erasing_page");
    blockIndex_ = page * kBlocksPerPage;
    rewritingPage_ = true;
    return;
  }
  stepProgress();
  if (++blockIndex_ < blockCount_) {
    sendImageBlock();
    return;
  }
  afterLastBlock();
}

void IspEngine::afterLastBlock() {
  if (!downloader_) logText(base::txt::kProgrammingCompleted);
  const std::uint16_t family = familyType();
  if (family == firmware::kFamilyK7A1) {
    if (!send(checksumRequestFrame(checkedKib()))) return;
    if (!downloader_) logText(base::txt::kVerifying);
    state_ = kChecksum;
    expectChecksum_ = true;
    expect(ReplyKind::ChecksumReport);
  } else if (family == firmware::kFamilyK7A0) {
    if (!send(runFrame())) return;
    logText(base::txt::kVerifying);
    state_ = kChecksum;
    expectChecksum_ = false;
    expect(ReplyKind::Ack);
  } else if (downloader_ && !checkByTool_) {
    if (!send(endFrame())) return;
    followToolReports();
  } else {
    if (!send(endFrame())) return;
    log(base::format(base::text("isp.upgrade_done").c_str(), elapsedSeconds()));
    end(End::Finish, base::Outcome::Success);
  }
}

// A Check compares the chip's checksum report once the loader is in: family 0x000 runs the loader,
// the others are asked for the checksum of the model's whole flash.
void IspEngine::afterLoaderForCheck() {
  state_ = kChecksum;
  if (familyType() == firmware::kFamilyK7A0) {
    if (!send(runFrame())) return;
    expectChecksum_ = false;
    expect(ReplyKind::Ack);
  } else {
    if (!send(checksumRequestFrame(checkedKib()))) return;
    expectChecksum_ = true;
    expect(ReplyKind::ChecksumReport);
  }
}

void IspEngine::onStateSeven(Bytes reply) {
  if (!expectChecksum_) {
    // After Run the loader acknowledges (AA 03 80 00 00 83) and then reports the checksum.
    if (ackStatus(reply) == 0) {
      expectChecksum_ = true;
      expect(ReplyKind::ChecksumReport);
    }
    return;
  }
  const IspJob& job = *job_;
  // Like with like: an EEPROM part extends maxFileLength but not what totalChecksum covers.
  checksumMatched_ = checksumReportMatches(checksumReportValue(reply), job.totalChecksum,
                                           static_cast<std::uint32_t>(job.totalChecksumLength));
  const bool toolContinues = downloader_ && !checkByTool_;
  if (!checksumMatched_) {
    logText(base::txt::kVerificationFailedRetry, base::LogColour::Error);
  } else if (!toolContinues) {
    logText(base::txt::kVerificationSuccessful);
    logTime(base::txt::kTimeConsumption);
  }
  if (toolContinues) {
    if (!checksumMatched_) {
      // The tool holds a different image: it must not go on to write it into the chip.
      if (send(abortFrame())) end(End::Finish, base::Outcome::Failed);
      return;
    }
    if (!send(endFrame())) return;
    followToolReports();
    return;
  }
  if (!send(endFrame())) return;
  end(End::Finish, checksumMatched_ ? base::Outcome::Success : base::Outcome::Failed);
}

void IspEngine::sendImageBlock() {
  const std::size_t offset = std::size_t{blockIndex_} * kShortBlockSize;
  const Bytes data(job_->image.data() + offset, kShortBlockSize);
  send(writeBlockFrame(familyType(), kAreaFlash, blockIndex_, data));
}

void IspEngine::sendLoaderBlock() {
  const auto loader = loaders::loaderFor(familyType());
  std::array<std::uint8_t, kShortBlockSize> block;
  block.fill(0xFF);
  const std::size_t offset = std::size_t{blockIndex_} * kShortBlockSize;
  if (offset < loader.size()) {
    const std::size_t n = std::min(kShortBlockSize, loader.size() - offset);
    std::copy_n(loader.begin() + static_cast<std::ptrdiff_t>(offset), n, block.begin());
  }
  send(writeBlockFrame(familyType(), kAreaXdata, blockIndex_, block));
}

}  // namespace isp::engine
