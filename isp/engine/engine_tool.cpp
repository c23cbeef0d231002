// The QUBRIX Tool as serial downloader: once it holds the image it programs or checks the chip by
// itself and the engine only follows its 7-byte reports (states 100 and 102).
#include "base/texts.hpp"
#include "isp/engine/engine.hpp"

namespace isp::engine {
namespace {

// Codes of the status reports (type 0x80) while the tool programs.
constexpr std::uint8_t kDownloaded = 0;
constexpr std::uint8_t kNoTarget = 1;
constexpr std::uint8_t kErasing = 2;
constexpr std::uint8_t kWriting = 3;
constexpr std::uint8_t kWritten = 4;
constexpr std::uint8_t kPowerNotOff = 17;
constexpr std::uint8_t kPowerOnPlease = 18;
constexpr std::uint8_t kLimitReached = 19;
constexpr std::uint8_t kWrongToolId = 20;

// Codes of the verification reports (type 0x43) and of the status reports during a check.
constexpr std::uint8_t kVerifyMatch = 0;
constexpr std::uint8_t kVerifyMismatch = 1;
constexpr std::uint8_t kVerifyNoTarget = 2;
constexpr std::uint8_t kVerifyWrongModel = 3;
constexpr std::uint8_t kVerifyConnected = 4;
constexpr std::uint8_t kCheckPowerNotOff = 0x11;
constexpr std::uint8_t kCheckPowerOnPlease = 0x12;

}  // namespace

void IspEngine::followToolReports() {
  state_ = kToolReports;
  // Progress reports carry percentages.
  setRange(0, 100);
  setProgress(0);
  expect(ReplyKind::DownloaderReport);
}

void IspEngine::onToolReport(Bytes reply) {
  const DownloaderReport r = parseDownloaderReport(reply);
  if (r.type == kReplyProgress) {
    setProgress(r.code);
    return;
  }
  if (r.type != kReplyAck) return;
  const bool ok = r.flag == 0;
  switch (r.code) {
    case kDownloaded:
      if (ok) {
        logText(base::txt::kDownloadComplete);
        logText(base::txt::kDetectingTarget);
      }
      break;
    case kNoTarget:
      if (!ok) {
        logText(base::txt::kTargetNotDetected, base::LogColour::Error);
        logText(base::txt::kDownloadedToTool);
        end(End::Finish, base::Outcome::Failed);
      }
      break;
    case kErasing:
      if (ok) {
        logText(base::txt::kConnectedToTarget);
        logText(job_->eraseChip ? 190 : 184);
      } else {
        logText(base::txt::kModelMismatch, base::LogColour::Error);
        end(End::Finish, base::Outcome::Failed);
      }
      break;
    case kWriting:
      if (ok) {
        logText(base::txt::kProgramming);
      } else {
        logText(base::txt::kWriteError, base::LogColour::Error);
        end(End::Finish, base::Outcome::Failed);
      }
      break;
    case kWritten:
      if (ok) {
        if (job_->fromEncryptedFile) logText(base::txt::kNoEncryptedIdOnline);
        logTime(base::txt::kProgrammingCompletedTime);
        end(End::Finish, base::Outcome::Success);
      }
      break;
    case kPowerNotOff:
      if (!ok) {
        logText(base::txt::kTargetPowerNotOff, base::LogColour::Error);
        end(End::Finish, base::Outcome::Failed);
      }
      break;
    case kPowerOnPlease:
      if (!ok) logText(base::txt::kPowerOnTarget);
      break;
    case kLimitReached:
      logText(base::txt::kLimitReachedIsp, base::LogColour::Error);
      end(End::Finish, base::Outcome::Failed);
      break;
    case kWrongToolId:
      logText(base::txt::kToolIdMismatchIsp, base::LogColour::Error);
      end(End::Finish, base::Outcome::Failed);
      break;
    default: break;
  }
}

void IspEngine::onToolVerifyReport(Bytes reply) {
  const DownloaderReport r = parseDownloaderReport(reply);
  if (r.type == kReplyProgress) {
    setProgress(r.code);
    return;
  }
  if (r.type == kReplyAck) {
    if (r.flag == 0) return;
    if (r.code == kCheckPowerNotOff) {
      logText(base::txt::kTargetPowerNotOff, base::LogColour::Error);
      end(End::Finish, base::Outcome::Failed);
    } else if (r.code == kCheckPowerOnPlease) {
      logText(base::txt::kPowerOnTarget);
    }
    return;
  }
  switch (r.code) {
    case kVerifyMatch:
      logText(base::txt::kVerificationConsistent);
      logTime(base::txt::kTimeConsumption);
      end(End::Finish, base::Outcome::Success);
      break;
    case kVerifyMismatch:
      logText(base::txt::kVerificationInconsistent, base::LogColour::Error);
      end(End::Finish, base::Outcome::Failed);
      break;
    case kVerifyNoTarget:
      logText(base::txt::kTargetNotDetected, base::LogColour::Error);
      end(End::Finish, base::Outcome::Failed);
      break;
    case kVerifyWrongModel:
      logText(base::txt::kModelMismatchReselect, base::LogColour::Error);
      end(End::Finish, base::Outcome::Failed);
      break;
    case kVerifyConnected:
      logText(base::txt::kConnectedToTarget);
      logText(base::txt::kVerifying);
      break;
    default: break;
  }
}

}  // namespace isp::engine
