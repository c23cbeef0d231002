#include "device/writer/protocol.hpp"

#include "base/strformat.hpp"
#include "base/texts.hpp"
#include "device/writer/reports.hpp"

namespace qx::writer {

std::optional<StatusLine> OfflineStatusLine(std::uint8_t code) {
  switch (code) {
    case 0x10: return StatusLine{"writer.status.10", true};
    case 0x11: return StatusLine{"writer.status.11", false};
    case 0x12: return StatusLine{"writer.status.12", false};
    case 0x13: return StatusLine{"writer.status.13", false};
    case 0x14: return StatusLine{"writer.status.14", false};
    case 0x20: return StatusLine{"writer.status.20", true};
    case 0x21: return StatusLine{"writer.status.21", false};
    case 0x22: return StatusLine{"writer.status.22", false};
    case 0x23: return StatusLine{"writer.status.23", false};
    case 0x24: return StatusLine{"writer.status.24", false};
    default: return std::nullopt;
  }
}

void WriterProtocol::log(const char* name) { sink_.onLog("--> " + base::text(name), base::LogColour::Normal); }

void WriterProtocol::advance(int next, Millis now) {
  state_ = next;
  lastStep_ = now;
}

Report WriterProtocol::outgoing(Report r) const {
  if (encrypted_) EncipherReport(r);
  return r;
}

Report WriterProtocol::begin(DownloadJob job, Millis now) {
  job_ = std::move(job);
  encrypted_ = job_.fromEncryptedFile;
  plan_ = PlanPackets(job_.length);
  packetIndex_ = 0;
  lastPacketSent_ = false;
  finished_ = false;
  wrongCheckCode_.reset();
  advance(1, now);
  return StartReport(job_.fromEncryptedFile);
}

void WriterProtocol::startFailed(std::uint32_t errorCode) {
  state_ = 0;
  sink_.onLog(base::format(base::text("writer.init_failed_log").c_str(), errorCode), base::LogColour::Error);
  sink_.onMessage(base::text("caption.error"), base::text("writer.init_failed"), base::MessageIcon::Error);
}

Report WriterProtocol::nextPacket() {
  Report r;
  if (packetIndex_ < plan_.count) {
    r = DataPacket(job_, packetIndex_);
    ++packetIndex_;
    if (packetIndex_ == plan_.count && plan_.exact) lastPacketSent_ = true;
  } else {
    r = DataPacket(job_, packetIndex_);
    lastPacketSent_ = true;
  }
  sink_.onProgress(static_cast<int>(packetIndex_));
  return outgoing(r);
}

std::optional<Report> WriterProtocol::onReport(Report in, Millis now) {
  if (encrypted_) DecipherReport(in);
  const std::uint8_t code = in[1];
  switch (state_) {
    case 0:
      if (code == kReplyStatus) offlineStatus(in[2]);
      return std::nullopt;
    case 1:
      if (code != kReplyStarted && code != kReplyAck) return std::nullopt;
      log("writer.upgrade_begins");
      log("writer.send_model");
      advance(8, now);
      return outgoing(ChipInfoReport(job_));
    case 8:
      if ((code != kReplyModelB && code != kReplyModelA) || (in[2] != 1 && in[3] != 1)) return std::nullopt;
      log("writer.get_flash_id");
      advance(2, now);
      return outgoing(ControlReport(kSubFlashId));
    case 2:
      if (code != kReplyFlashId) return std::nullopt;
      log("writer.set_length");
      sink_.onProgressRange(0, static_cast<int>(plan_.count));
      advance(3, now);
      return outgoing(LengthReport(job_));
    case 3:
    case 4: {
      if ((state_ == 3 && code != kReplyLength) || (state_ == 4 && code != kReplyAck)) return std::nullopt;
      if (state_ == 3) log("writer.sending_data");
      const Report packet = nextPacket();
      advance(4, now);
      if (lastPacketSent_) {
        log("writer.data_sent");
        advance(5, now);
      }
      return packet;
    }
    case 5:
      if (code != kReplyAck) return std::nullopt;
      log("writer.get_check_code");
      advance(6, now);
      return outgoing(ControlReport(kSubCheckCode));
    case 6: {
      if (code != kReplyCheckCode) return std::nullopt;
      const std::uint32_t checkCode = Big32(in, 3);
      if (checkCode != job_.totalChecksum) {
        // The Writer got something else; the time-out ends the wait with the reason.
        wrongCheckCode_ = checkCode;
        return std::nullopt;
      }
      log("writer.verified");
      advance(7, now);
      return outgoing(FileNameReport(job_));
    }
    case 7:
      if (code != kReplyDone) return std::nullopt;
      log("writer.programmed");
      state_ = 0;
      finished_ = true;
      sink_.onControlsEnabled(true);
      sink_.onDownloadEnded(base::Outcome::Success);
      return std::nullopt;
    default:
      return std::nullopt;
  }
}

void WriterProtocol::offlineStatus(std::uint8_t code) {
  if (code == 0x30) {
    sink_.onClearLog();
    sink_.onLog(base::text("writer.status.sync1"), base::LogColour::Normal);
    sink_.onLog(base::text("writer.status.sync2"), base::LogColour::Normal);
    return;
  }
  if (const auto line = OfflineStatusLine(code)) {
    sink_.onLog(base::text(line->text), line->error ? base::LogColour::Error : base::LogColour::Normal);
  }
}

void WriterProtocol::abandon(const std::string& line) {
  if (state_ == 0) return;
  state_ = 0;
  sink_.onLog(line, base::LogColour::Error);
  sink_.onControlsEnabled(true);
  sink_.onDownloadEnded(base::Outcome::Failed);
}

void WriterProtocol::sendFailed(std::uint32_t errorCode) {
  abandon(base::format(base::text("writer.send_failed").c_str(), errorCode));
}

void WriterProtocol::linkLost() { abandon(base::text("writer.link_lost")); }

void WriterProtocol::cancel() {
  if (state_ == 0) return;
  state_ = 0;
  sink_.onControlsEnabled(true);
  sink_.onDownloadEnded(base::Outcome::Cancelled);
}

bool WriterProtocol::checkTimeout(Millis now) {
  if (state_ == 0 || now - lastStep_ < kReplyTimeout) return false;
  if (state_ == 6 && wrongCheckCode_) {
    abandon(base::format(base::text("writer.check_code_mismatch").c_str(), *wrongCheckCode_, job_.totalChecksum));
  } else {
    abandon(base::text("writer.no_answer"));
  }
  return true;
}

}  // namespace qx::writer
